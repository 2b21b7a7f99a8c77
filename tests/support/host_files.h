#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shellfiles/file_system.h"

namespace vellora::test {

// The host's own file system, as the programs make it, for the suites that
// run on every platform; a test may derive from it to change an answer.
class HostFiles : public FileSystem {
 public:
  // Where the copy waits before it takes its name: an unnamed file, or a
  // hidden one beside the target. Windows only has the second.
  enum class Temporaries { Unnamed, Named };
  static std::vector<Temporaries> everyKind();

  explicit HostFiles(Temporaries temporaries = everyKind().front());

  Opened<InputFile> openInput(const std::string& path) override { return real_->openInput(path); }
  Opened<ReplacementFile> createReplacement(const std::string& path) override {
    return real_->createReplacement(path);
  }
  bool exists(const std::string& path) override { return real_->exists(path); }
  bool sameFile(const std::string& a, const std::string& b) override { return real_->sameFile(a, b); }
  IoStatus makeDirectory(const std::string& path) override { return real_->makeDirectory(path); }
  IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) override {
    return real_->listFiles(pattern, names);
  }
  std::optional<FileTime> modificationTime(const std::string& path) override {
    return real_->modificationTime(path);
  }
  std::optional<std::string> absolutePath(const std::string& path) override {
    return real_->absolutePath(path);
  }

 private:
  std::unique_ptr<FileSystem> real_;
};

// How the host words what the tests expect to read.
// The system's reason for a file that does not exist.
std::string noSuchFileReason();
// A relative host path written with "/", with the host's own separator.
std::string hostPath(std::string path);
// The host path of a system path, as the programs map it.
std::string hostOf(const std::string& systemPath);

}  // namespace vellora::test
