#pragma once

#include "platform/drive_map.h"
#include "shellfiles/file_system.h"

namespace vellora {

// The file services on the host, through the drive map. Copies go through
// the kernel (copy_file_range) and new files appear only when complete.
class HostFileSystem : public FileSystem {
 public:
  explicit HostFileSystem(DriveMap drives);

  Opened<InputFile> openInput(const std::string& path) override;
  Opened<ReplacementFile> createReplacement(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool sameFile(const std::string& a, const std::string& b) override;
  IoStatus makeDirectory(const std::string& path) override;
  IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) override;
  std::optional<FileTime> modificationTime(const std::string& path) override;
  std::optional<std::string> absolutePath(const std::string& path) override;

  const DriveMap& drives() const { return drives_; }

 private:
  DriveMap drives_;
};

}  // namespace vellora
