#pragma once

#include "platform/linux/drive_map.h"
#include "shellfiles/file_system.h"

namespace vellora {

// The file services on the host, through the drive map. Copies go through
// the kernel (copy_file_range) and new files appear only when complete.
class HostFileSystem : public FileSystem {
 public:
  // Unnamed: copies are written as unnamed files where the file system allows
  // it, so that nothing is left even by a killed process; Named always uses a
  // hidden named file beside the target, as file systems without them do.
  enum class Temporaries { Unnamed, Named };
  explicit HostFileSystem(DriveMap drives, Temporaries temporaries = Temporaries::Unnamed);

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
};

// Named when VELLORA_TEMPORARY_FILES is "named": how file systems without
// unnamed files behave, for tests and for trying it out.
HostFileSystem::Temporaries temporariesFromEnvironment();

}  // namespace vellora
