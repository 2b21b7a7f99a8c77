#include "platform/win32/windows_module1.h"

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "platform/win32/next_handler.h"
#include "platform/win32/wide.h"

// winmm.dll exports mciExecute, but mingw-w64's headers do not declare it.
extern "C" __declspec(dllimport) BOOL WINAPI mciExecute(LPCSTR command);

namespace vellora {
namespace {

constexpr MCIERROR kParamOverflow = MCIERR_PARAM_OVERFLOW;
// What ShellExecute returns when it started a program: any value above 32.
constexpr std::intptr_t kStarted = 42;

// An empty string is handed over as a pointer to an empty text, never null.
const wchar_t* orEmpty(const std::wstring& text) { return text.c_str(); }

HWND windowOf(std::uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

}  // namespace

WindowsModule1::WindowsModule1() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  comStarted_ = SUCCEEDED(hr);
}

WindowsModule1::~WindowsModule1() {
  if (comStarted_) ::CoUninitialize();
}

std::intptr_t WindowsModule1::ShellExecuteA(std::uint32_t hwnd, const std::string& operation,
                                            const std::string& file, const std::string& parameters,
                                            const std::string& directory, std::int32_t showCmd) {
  const std::wstring op = win32::toWide(operation), path = win32::toWide(file),
                     params = win32::toWide(parameters), dir = win32::toWide(directory);
  // A copy to play must not open in another Vellora window.
  if (op == L"open" && params.empty()) {
    const wchar_t* extension = ::PathFindExtensionW(path.c_str());
    if (win32::openedByVellora(extension))
      return win32::openWithNextHandler(path, extension, showCmd) ? kStarted : SE_ERR_NOASSOC;
  }
  const HINSTANCE result = ::ShellExecuteW(windowOf(hwnd), orEmpty(op), orEmpty(path),
                                           orEmpty(params), orEmpty(dir), showCmd);
  return reinterpret_cast<std::intptr_t>(result);
}

std::int32_t WindowsModule1::mciExecute(const std::string& command) {
  return ::mciExecute(win32::narrow(win32::toWide(command), CP_ACP).c_str()) ? 1 : 0;
}

std::int32_t WindowsModule1::mciSendStringA(const std::string& command, char* returnString,
                                            std::int32_t returnLength, std::uint32_t hwndCallback) {
  const UINT room = returnString && returnLength > 0 ? static_cast<UINT>(returnLength) : 0;
  std::vector<wchar_t> reply(room + 1, L'\0');
  const MCIERROR error = ::mciSendStringW(win32::toWide(command).c_str(), room ? reply.data() : nullptr,
                                          room, windowOf(hwndCallback));
  if (room == 0) return static_cast<std::int32_t>(error);
  // The reply comes back as UTF-8, cut at a character boundary to the room.
  std::string text = win32::toUtf8(reply.data());
  const std::size_t fits = static_cast<std::size_t>(room - 1);
  bool cut = false;
  if (text.size() > fits) {
    std::size_t end = fits;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    cut = true;
  }
  std::memcpy(returnString, text.c_str(), text.size() + 1);
  if (error != 0) return static_cast<std::int32_t>(error);
  return cut ? static_cast<std::int32_t>(kParamOverflow) : 0;
}

}  // namespace vellora
