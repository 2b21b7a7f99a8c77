#include "platform/linux/host_file_system.h"
#include "support/host_files.h"

namespace vellora::test {

std::vector<HostFiles::Temporaries> HostFiles::everyKind() { return {Temporaries::Unnamed, Temporaries::Named}; }

HostFiles::HostFiles(Temporaries temporaries)
    : real_(std::make_unique<HostFileSystem>(DriveMap::fromEnvironment(),
                                             temporaries == Temporaries::Named
                                                 ? HostFileSystem::Temporaries::Named
                                                 : HostFileSystem::Temporaries::Unnamed)) {}

std::string noSuchFileReason() { return "No such file or directory"; }
std::string hostPath(std::string path) { return path; }
std::string hostOf(const std::string& systemPath) {
  return DriveMap::fromEnvironment().toHost(systemPath).value_or("<unmapped>");
}

}  // namespace vellora::test
