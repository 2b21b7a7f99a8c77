#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vellora::test {

std::string readHostFile(const std::string& path);
void writeHostFile(const std::string& path, std::string_view bytes);

// A fresh temporary directory serving as drive C: for one test, removed
// with everything in it afterwards.
class TempDrive {
 public:
  TempDrive();
  ~TempDrive();
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  const std::string& root() const { return root_; }
  // The host path of a path below the drive's root, written with "/".
  std::string host(std::string_view relative) const;

  void write(std::string_view relative, std::string_view bytes) const;
  std::string read(std::string_view relative) const;
  bool exists(std::string_view relative) const;
  void mkdir(std::string_view relative) const;
  // Removes a file, or a directory with everything in it; nothing when there is none.
  void remove(std::string_view relative) const;
  // The names in a directory, sorted, hidden ones included.
  std::vector<std::string> list(std::string_view relative) const;

 private:
  std::string root_;
};

// A stand-in for the desktop's opener, first on PATH, that records each
// call's arguments, one line per argument, so no test starts a real program.
class FakeOpener {
 public:
  FakeOpener();
  ~FakeOpener();
  FakeOpener(const FakeOpener&) = delete;
  FakeOpener& operator=(const FakeOpener&) = delete;

  // The recorded arguments once `calls` calls have come in, or what came
  // within a few seconds.
  std::vector<std::string> waitForArguments(std::size_t calls) const;
  std::vector<std::string> arguments() const;

 private:
  std::string dir_;
  std::string log_;
  std::string oldPath_;
};

}  // namespace vellora::test
