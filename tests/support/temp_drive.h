#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellora::test {

std::string readHostFile(const std::string& path);
void writeHostFile(const std::string& path, std::string_view bytes);

// What a test may need of the host beyond plain files.
enum class Feature {
  SymbolicLinks,
  Fifos,
  ReadOnlyDirectories,        // a directory that nobody may write into
  ReservedCharactersInNames,  // host names holding : ? * < > | " or a backslash
  RecordingPlayer,            // a stand-in for the player that records what it is given
  CaseSensitiveNames,         // two names equal but for case, side by side
  DriveMap,                   // system paths mapped onto the host's own
};
// Why the host cannot give the tests `feature`, in one line; empty when it can.
std::string lacks(Feature feature);

// Skips the rest of the test, saying why, where the host lacks `feature`.
#define VELLORA_SKIP_WITHOUT(feature)                                                                 \
  if (const std::string why = ::vellora::test::lacks(::vellora::test::Feature::feature); !why.empty()) \
  GTEST_SKIP() << why

// A drive C: of its own for one test, emptied before and after: a fresh
// temporary directory mapped as C: on Linux, the Wine prefix's own drive C:
// on Windows (only under Wine, whose C: belongs to the tests).
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

  void append(std::string_view relative, std::string_view bytes) const;
  void resize(std::string_view relative, std::uint64_t size) const;
  // A file nobody may write, or a directory nobody may write into.
  void makeReadOnly(std::string_view relative) const;
  // The modification time, in seconds and nanoseconds after 1970 (Windows
  // keeps tenths of microseconds).
  void setTime(std::string_view relative, std::int64_t seconds, long nanos = 0) const;
  // Hides a file from listings: its leading dot does on Linux, an attribute on Windows.
  void hide(std::string_view relative) const;
  // A symbolic link at `relative` to `target`, a path below the drive's root
  // or an absolute host path (see Feature::SymbolicLinks).
  void link(std::string_view relative, std::string_view target) const;
  // A FIFO (see Feature::Fifos).
  void makeFifo(std::string_view relative) const;
  // Mounts a small file system there for the rest of the test, with mount's
  // options; returns why not, empty when it was mounted.
  std::string mountSmallDisk(std::string_view relative, const char* options);
  // The working directory, until `back()` or the drive's end.
  void enter(std::string_view relative);
  void back();

 private:
  std::string root_;
  std::string mounted_;
  std::string left_;  // the working directory before enter()
};

// A desktop of its own for one test: private XDG data and config folders in
// which a stand-in player, a shell script, is the application for WAV files,
// folders and pages, so no test starts a real program. By default the player
// records each call's arguments, one line per argument (see
// Feature::RecordingPlayer).
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
