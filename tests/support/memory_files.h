#pragma once

#include <map>
#include <set>
#include <string>

#include "shellfiles/file_system.h"
#include "shellfiles/host_paths.h"

namespace vellora::test {

// A file system in memory, on system paths taken as they are written
// ("C:\temp\talk.wav"): the same on every platform, for the tests of what
// the core does with files rather than how a platform keeps them.
class MemoryFiles : public FileSystem {
 public:
  MemoryFiles();  // holds C:\ and nothing else

  struct File {
    std::string bytes;
    FileTime time = 0;
  };
  std::map<std::string, File> files;
  std::set<std::string> directories;

  void write(const std::string& path, std::string bytes, FileTime time = 0) { files[path] = {std::move(bytes), time}; }
  std::string read(const std::string& path) const;

  Opened<InputFile> openInput(const std::string& path) override;
  Opened<ReplacementFile> createReplacement(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool sameFile(const std::string& a, const std::string& b) override { return a == b && exists(a); }
  IoStatus makeDirectory(const std::string& path) override;
  IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) override;
  std::optional<FileTime> modificationTime(const std::string& path) override;
  std::optional<std::string> absolutePath(const std::string& path) override { return path; }
};

// Host paths as a host with one drive might write them: "/c/temp/x.wav" is
// C:\temp\x.wav, and what is typed with a leading "/" is a host path.
class SlashPaths : public HostPaths {
 public:
  std::optional<std::string> toSystem(std::string_view hostPath, std::string* why = nullptr) const override;
  std::optional<std::string> toHost(std::string_view systemPath, std::string* why = nullptr) const override;
  std::optional<std::string> typedHostPath(std::string_view typed) const override;
};

}  // namespace vellora::test
