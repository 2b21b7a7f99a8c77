#include "platform/win32/program_directory.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vellora {

std::optional<std::string> programDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return std::nullopt;
  // Keep the separator of a drive root: "C:\".
  path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
  return win32::toUtf8(path);
}

}  // namespace vellora
