// The drive map on Windows, where the system's paths are the host's own:
// every drive is its own root, so paths pass through unchanged. It lets the
// command-line program, written against the map, run here as it is.
#include "platform/drive_map.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vellora {

DriveMap::DriveMap(const Roots& roots) : roots_(roots) {}

DriveMap DriveMap::fromEnvironment() {
  Roots roots;
  for (char d = 'A'; d <= 'Z'; ++d) roots[static_cast<std::size_t>(d - 'A')] = std::string{d, ':', '\\'};
  return DriveMap(roots);
}

std::optional<std::string> DriveMap::toHost(std::string_view systemPath, std::string* why) const {
  if (systemPath.empty()) {
    if (why) *why = "the path is empty";
    return std::nullopt;
  }
  return std::string(systemPath);
}

std::optional<std::string> DriveMap::toSystem(std::string_view hostPath) const {
  if (hostPath.empty()) return std::nullopt;
  return std::string(hostPath);
}

std::optional<std::string> DriveMap::absolute(std::string_view systemPath, std::string* why) const {
  const std::wstring wide = win32::toWide(systemPath);
  const DWORD length = wide.empty() ? 0 : ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  if (length == 0 || ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr) >= length) {
    if (why) *why = wide.empty() ? "the path is empty" : win32::reasonFor(::GetLastError());
    return std::nullopt;
  }
  full.resize(full.find(L'\0'));
  return win32::toUtf8(full);
}

const std::optional<std::string>& DriveMap::root(char drive) const {
  const char upper = drive >= 'a' && drive <= 'z' ? static_cast<char>(drive - 'a' + 'A') : drive;
  return roots_[static_cast<std::size_t>(upper - 'A')];
}

}  // namespace vellora
