#include "platform/win32/wide.h"

namespace vellora::win32 {

std::wstring toWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string narrow(std::wstring_view utf16, UINT codePage) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length = ::WideCharToMultiByte(codePage, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, utf16.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

std::string toUtf8(std::wstring_view utf16) { return narrow(utf16, CP_UTF8); }

std::string inActiveCodePage(std::string_view utf8) {
  const UINT codePage = ::GetACP();
  // UTF-8 takes neither a replacement character nor the flag.
  if (codePage == CP_UTF8 || utf8.empty()) return std::string(utf8);
  const std::wstring wide = toWide(utf8);
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                           "?", nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, text.data(), length, "?",
                        nullptr);
  return text;
}

std::string reasonFor(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length > 0 ? std::wstring(text, length) : std::wstring();
  if (text) ::LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                             reason.back() == L' ' || reason.back() == L'.'))
    reason.pop_back();
  if (reason.empty()) return "Windows error " + std::to_string(error);
  return toUtf8(reason);
}

IoStatus failure(DWORD error) { return IoStatus::failure(reasonFor(error)); }

std::wstring extendedLength(std::wstring fullPath) {
  if (fullPath.size() < MAX_PATH - 12 || fullPath.starts_with(LR"(\\?\)")) return fullPath;
  if (fullPath.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + fullPath.substr(2);
  return LR"(\\?\)" + fullPath;
}

}  // namespace vellora::win32
