#include <algorithm>

#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "support/host_files.h"

namespace vellora::test {

std::vector<HostFiles::Temporaries> HostFiles::everyKind() { return {Temporaries::Named}; }

HostFiles::HostFiles(Temporaries) : real_(std::make_unique<WindowsFileSystem>()) {}

std::string noSuchFileReason() { return win32::reasonFor(ERROR_FILE_NOT_FOUND); }
std::string hostOf(const std::string& systemPath) { return systemPath; }
std::string hostPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace vellora::test
