#include "platform/win32/windows_paths.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vellora {

std::optional<std::string> WindowsPaths::toSystem(std::string_view hostPath, std::string* why) const {
  const std::wstring wide = win32::toWide(hostPath);
  const DWORD length = wide.empty() ? 0 : ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  if (length == 0 || ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr) >= length) {
    if (why) *why = wide.empty() ? "the path is empty" : win32::reasonFor(::GetLastError());
    return std::nullopt;
  }
  full.resize(full.find(L'\0'));
  return win32::toUtf8(full);
}

std::optional<std::string> WindowsPaths::toHost(std::string_view systemPath, std::string* why) const {
  if (systemPath.empty()) {
    if (why) *why = "the path is empty";
    return std::nullopt;
  }
  return std::string(systemPath);
}

std::optional<std::string> WindowsPaths::typedHostPath(std::string_view) const { return std::nullopt; }

}  // namespace vellora
