#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
  // The names in a directory, sorted, hidden ones included.
  std::vector<std::string> list(std::string_view relative) const;

 private:
  std::string root_;
};

// A desktop of its own for one test: private XDG data and config folders in
// which a stand-in player, a shell script, is the application for WAV files,
// folders and pages, so no test starts a real program. By default the player
// records each call's arguments, one line per argument.
class FakeOpener {
 public:
  enum class Choice {
    Player,             // the player is the desktop's choice
    VelloraThenPlayer,  // Vellora is the choice, the player registered after it
    VelloraAlone,       // Vellora is all there is
  };
  explicit FakeOpener(Choice choice = Choice::Player, const std::string& playerScript = {});
  ~FakeOpener();
  FakeOpener(const FakeOpener&) = delete;
  FakeOpener& operator=(const FakeOpener&) = delete;

  // The player's recorded arguments once `calls` calls have come in, or what
  // came within a few seconds.
  std::vector<std::string> waitForArguments(std::size_t calls) const;
  std::vector<std::string> arguments() const;
  // What a Vellora started by the desktop was handed: nothing, ever.
  std::vector<std::string> velloraArguments() const;

 private:
  std::string dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace vellora::test
