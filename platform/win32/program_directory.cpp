#include "platform/program_directory.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vellora {

std::optional<std::string> executablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      return win32::toUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace vellora
