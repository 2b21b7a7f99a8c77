#include "platform/linux/host_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/linux/host_input_file.h"
#include "platform/linux/leftover_temporaries.h"
#include "platform/linux/link_rules.h"
#include "platform/linux/replacement_file.h"
#include "platform/linux/system_failure.h"

namespace vellora {

HostFileSystem::Temporaries temporariesFromEnvironment() {
  const char* value = std::getenv("VELLORA_TEMPORARY_FILES");
  return value && std::string_view(value) == "named" ? HostFileSystem::Temporaries::Named
                                                     : HostFileSystem::Temporaries::Unnamed;
}

HostFileSystem::HostFileSystem(DriveMap drives, Temporaries temporaries, HostCalls calls)
    : drives_(std::move(drives)),
      unnamedTemporaries_(temporaries == Temporaries::Unnamed),
      calls_(std::make_shared<const HostCalls>(std::move(calls))) {}

Opened<InputFile> HostFileSystem::openInput(const std::string& path) {
  Opened<HostInputFile> opened = openRegular(drives_, path, O_RDONLY, calls_);
  return {std::move(opened.file), opened.status};
}

// The file is written, so links lead to it only as to a replacement.
Opened<UpdatableFile> HostFileSystem::openForUpdate(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  Destination where;
  if (IoStatus reached = reach(*host, where); !reached) return {nullptr, reached};
  if (where.target.kind == PathFacts::Kind::Missing) return {nullptr, systemFailure(ENOENT)};
  const char* name = where.name.empty() ? "." : where.name.c_str();
  Opened<HostInputFile> opened = openRegularAt(where.directory.get(), name, O_RDWR | O_NOFOLLOW, calls_);
  return {std::move(opened.file), opened.status};
}

Opened<ReplacementFile> HostFileSystem::createReplacement(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  Destination where;
  if (IoStatus reached = reach(*host, where); !reached) return {nullptr, reached};
  if (IoStatus place = checkDestination(where); !place) return {nullptr, place};
  removeLeftovers(where.directory.get());
  return makeReplacement(std::move(where), unnamedTemporaries_, calls_);
}

bool HostFileSystem::exists(const std::string& path) {
  const std::optional<std::string> host = drives_.toHost(path);
  struct stat st {};
  return host && ::stat(host->c_str(), &st) == 0;
}

bool HostFileSystem::sameFile(const std::string& a, const std::string& b) {
  const std::optional<std::string> hostA = drives_.toHost(a), hostB = drives_.toHost(b);
  if (!hostA || !hostB) return false;
  struct stat sa {}, sb {};
  return ::stat(hostA->c_str(), &sa) == 0 && ::stat(hostB->c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

IoStatus HostFileSystem::makeDirectory(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return IoStatus::failure(why);
  UniqueFd made;
  return reachDirectory(*host, true, made);
}

std::optional<std::string> HostFileSystem::absolutePath(const std::string& path) {
  return drives_.absolute(path);
}

std::optional<FileTime> HostFileSystem::modificationTime(const std::string& path) {
  const std::optional<std::string> host = drives_.toHost(path);
  struct stat st {};
  if (!host || ::stat(host->c_str(), &st) != 0) return std::nullopt;
  return FileTime{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace vellora
