#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>

#include "platform/linux/drive_map.h"
#include "shellfiles/file_system.h"

namespace vellora {

// The system calls whose failures tests cause on purpose (a disk that fails
// a read, a network file system that reports a lost write only on close);
// the real ones unless told otherwise.
struct HostCalls {
  std::function<ssize_t(int fd, void* into, std::size_t count, off_t offset)> pread = ::pread;
  std::function<ssize_t(int in, loff_t* inOffset, int out, loff_t* outOffset, std::size_t count,
                        unsigned flags)>
      copyFileRange = ::copy_file_range;
  std::function<int(int fd)> fsync = ::fsync;
  std::function<int(int fd)> close = ::close;
  std::function<int(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags)>
      renameat2 = ::renameat2;
};

// The file services on the host, through the drive map. Copies go through
// the kernel (copy_file_range) and new files appear only when complete. A
// replacement follows a link at its target only where the kernel would
// (fs.protected_symlinks), and works in the directory it holds open, so that
// nothing is swapped between a check and its use.
class HostFileSystem : public FileSystem {
 public:
  // Unnamed: copies are written as unnamed files where the file system allows
  // it, so that nothing is left even by a killed process; Named always uses a
  // hidden named file beside the target, as file systems without them do.
  enum class Temporaries { Unnamed, Named };
  explicit HostFileSystem(DriveMap drives, Temporaries temporaries = Temporaries::Unnamed,
                          HostCalls calls = {});

  Opened<InputFile> openInput(const std::string& path) override;
  Opened<ReplacementFile> createReplacement(const std::string& path) override;
  Opened<UpdatableFile> openForUpdate(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool sameFile(const std::string& a, const std::string& b) override;
  IoStatus makeDirectory(const std::string& path) override;
  IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) override;
  std::optional<FileTime> modificationTime(const std::string& path) override;
  std::optional<std::string> absolutePath(const std::string& path) override;

  const DriveMap& drives() const { return drives_; }

 private:
  DriveMap drives_;
  bool unnamedTemporaries_;
  std::shared_ptr<const HostCalls> calls_;  // shared with the files it opens
};

// Named when VELLORA_TEMPORARY_FILES is "named": how file systems without
// unnamed files behave, for tests and for trying it out.
HostFileSystem::Temporaries temporariesFromEnvironment();

}  // namespace vellora
