#pragma once

#include "shellfiles/file_system.h"

namespace vellora {

// The file services on Windows, on the system's own paths (no mapping):
// UTF-8 in, UTF-16 to the wide Win32 functions. Copies go through
// CopyFileExW into a temporary file beside the target, which takes the
// target's place with MoveFileExW only when complete and patched.
class WindowsFileSystem : public FileSystem {
 public:
  Opened<InputFile> openInput(const std::string& path) override;
  Opened<ReplacementFile> createReplacement(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool sameFile(const std::string& a, const std::string& b) override;
  IoStatus makeDirectory(const std::string& path) override;
  IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) override;
  std::optional<FileTime> modificationTime(const std::string& path) override;
  std::optional<std::string> absolutePath(const std::string& path) override;
  // In the active code page, which is what Excel and Notepad read.
  std::string fileText(std::string_view utf8) const override;
};

}  // namespace vellora
