#include "platform/win32/next_handler.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace vellora::win32 {
namespace {

std::wstring lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

bool namesVellora(const std::wstring& commandOrPath) {
  return lower(commandOrPath).find(L"vellora.exe") != std::wstring::npos;
}

// What the shell runs to open files of `association` (an extension or a ProgID).
std::wstring assocString(ASSOCSTR what, ASSOCF flags, const std::wstring& association) {
  std::wstring text(4096, L'\0');
  DWORD size = static_cast<DWORD>(text.size());
  if (FAILED(::AssocQueryStringW(flags, what, association.c_str(), L"open", text.data(), &size))) return {};
  text.resize(std::wcslen(text.c_str()));
  return text;
}

// The names under a key: its values' (`values`) or its subkeys'.
std::vector<std::wstring> namesUnder(const std::wstring& key, bool values) {
  std::vector<std::wstring> names;
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    const LSTATUS status = values ? ::RegEnumValueW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                                  : ::RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (length > 0) names.emplace_back(name, length);
  }
  ::RegCloseKey(opened);
  return names;
}

// The command with the file in place of %1 or %L (quoted by the command
// itself, or here when it names no place for it), and variables expanded.
std::wstring commandFor(const std::wstring& command, const std::wstring& path) {
  std::wstring line;
  bool placed = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const wchar_t next = i + 1 < command.size() ? std::towlower(command[i + 1]) : L'\0';
    if (command[i] == L'%' && (next == L'1' || next == L'l')) {
      line += path;
      placed = true;
      ++i;
    } else if (command[i] == L'%' && next == L'*') {
      ++i;  // no further arguments
    } else {
      line += command[i];
    }
  }
  if (!placed) line += L" \"" + path + L"\"";
  const DWORD size = ::ExpandEnvironmentStringsW(line.c_str(), nullptr, 0);
  if (size == 0) return line;
  std::wstring expanded(size, L'\0');
  expanded.resize(::ExpandEnvironmentStringsW(line.c_str(), expanded.data(), size) - 1);
  return expanded;
}

bool run(std::wstring commandLine, int showCommand) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    return false;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

}  // namespace

bool openedByVellora(const std::wstring& extension) {
  // The command, not the program's path, which the shell may not resolve.
  return !extension.empty() && namesVellora(assocString(ASSOCSTR_COMMAND, ASSOCF_NONE, extension));
}

bool openWithNextHandler(const std::wstring& path, const std::wstring& extension, int showCommand) {
  std::vector<std::wstring> commands;
  for (const std::wstring& progId : namesUnder(extension + L"\\OpenWithProgids", true))
    commands.push_back(assocString(ASSOCSTR_COMMAND, ASSOCF_NONE, progId));
  for (const std::wstring& program : namesUnder(extension + L"\\OpenWithList", false))
    commands.push_back(assocString(ASSOCSTR_COMMAND, ASSOCF_INIT_BYEXENAME, program));
  for (const std::wstring& command : commands)
    if (!command.empty() && !namesVellora(command) && run(commandFor(command, path), showCommand)) return true;
  return false;
}

}  // namespace vellora::win32
