#include "platform/win32/wide.h"

#include <cstring>
#include <optional>

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

std::wstring fullPath(const std::wstring& path) {
  const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return path;
  full.resize(written);
  return full;
}

std::wstring systemPath(std::string_view utf8) { return extendedLength(fullPath(toWide(utf8))); }

namespace {

// The volume and file ID of an open file. A handle opened only to write (as
// cmd.exe opens one for ">>") may not read them; a second handle on the same
// file, asking only for its attributes, can.
std::optional<FILE_ID_INFO> fileId(HANDLE file) {
  FILE_ID_INFO id{};
  if (::GetFileType(file) != FILE_TYPE_DISK) return std::nullopt;
  if (::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) return id;
  const UniqueHandle reading(::ReOpenFile(file, FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
  if (reading && ::GetFileInformationByHandleEx(reading.get(), FileIdInfo, &id, sizeof id)) return id;
  return std::nullopt;
}

}  // namespace

bool sameFile(HANDLE a, HANDLE b) {
  const std::optional<FILE_ID_INFO> first = fileId(a), second = fileId(b);
  if (!first || !second) return false;
  // Wine cannot name the volume of a handle inherited from a Unix shell (it
  // says 0); the file's own ID is known all the same.
  const bool sameVolume = first->VolumeSerialNumber == second->VolumeSerialNumber ||
                          first->VolumeSerialNumber == 0 || second->VolumeSerialNumber == 0;
  return sameVolume && std::memcmp(&first->FileId, &second->FileId, sizeof first->FileId) == 0;
}

}  // namespace vellora::win32
