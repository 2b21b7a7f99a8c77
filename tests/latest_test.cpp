#include "shellfiles/latest.h"

#include <gtest/gtest.h>

#include <set>

#include "support/host_files.h"
#include "support/temp_drive.h"

namespace vellora {
namespace {

struct Box : InputBox {
  std::string value;
  int sets = 0;
  std::string text() override { return value; }
  void setText(const std::string& t) override {
    value = t;
    ++sets;
  }
};

// The host file system, except that the times of some names cannot be read.
struct UnreadableTimes : test::HostFiles {
  std::set<std::string> unreadable;
  std::optional<FileTime> modificationTime(const std::string& path) override {
    if (unreadable.count(path)) return std::nullopt;
    return HostFiles::modificationTime(path);
  }
};

class LatestTest : public ::testing::Test {
 protected:
  void SetUp() override { drive.mkdir("temp"); }

  // A file whose modification time is `seconds` plus `nanos` after the epoch.
  void file(const std::string& relative, std::int64_t seconds, long nanos = 0) {
    drive.write(relative, "RIFF");
    drive.setTime(relative, seconds, nanos);
  }

  std::string latest(const std::string& text) {
    Box box;
    box.value = text;
    getLatest(files, box);
    EXPECT_EQ(box.sets, 1);
    return box.value;
  }

  test::TempDrive drive;
  UnreadableTimes files;
};

TEST_F(LatestTest, ChoosesTheNewestWavFile) {
  file("temp/a.wav", 2000);
  file("temp/b.wav", 1000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\a.wav");
  file("temp/c.wav", 2000, 100);  // the least step that every host keeps
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\c.wav");
  EXPECT_EQ(latest("C:\\temp\\"), "C:\\temp\\c.wav") << "a trailing backslash names the same directory";
  EXPECT_EQ(latest("C:\\temp\\c.wav"), "C:\\temp\\c.wav") << "a second run gives the same text";
}

TEST_F(LatestTest, EqualTimesGoToTheNameListedLast) {
  file("temp/Beta.wav", 5000);
  file("temp/alpha.wav", 5000);
  file("temp/gamma.wav", 4000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\Beta.wav") << "listed by name, case ignored";
}

TEST_F(LatestTest, NamesEqualButForCaseAreListedByTheirBytes) {
  VELLORA_SKIP_WITHOUT(CaseSensitiveNames);
  file("temp/Beta.wav", 5000);
  file("temp/beta.wav", 5000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\beta.wav");
}

TEST_F(LatestTest, MatchesOnlyOrdinaryWavFilesCaseIgnored) {
  file("temp/old.wav", 1000);
  file("temp/.hidden.wav", 9000);
  drive.hide("temp/.hidden.wav");
  drive.mkdir("temp/folder.wav");
  drive.setTime("temp/folder.wav", 9000);
  file("temp/notes.txt", 9000);
  file("temp/take.wav.bak", 9000);
  file("temp/TALK.WAV", 3000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\TALK.WAV");

  file("temp/x.Wav", 4000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\x.Wav");
}

// A link counts with its target's time; one that leads nowhere is no file,
// and leaves the other names in their order.
TEST_F(LatestTest, LinksCountWithTheirTargets) {
  VELLORA_SKIP_WITHOUT(SymbolicLinks);
  file("temp/a.wav", 5000);
  file("temp/b.wav", 5000);
  file("temp/c.wav", 5000);
  drive.link("temp/zz-dangling.wav", "gone");
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\c.wav");
  file("elsewhere.bin", 6000);
  drive.link("temp/link.wav", "elsewhere.bin");
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\link.wav");
}

TEST_F(LatestTest, NoWavFileLeavesTheDirectoryAndABackslash) {
  file("temp/notes.txt", 1000);
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\");
  EXPECT_EQ(latest("C:\\nowhere\\in.wav"), "C:\\nowhere\\");
  EXPECT_EQ(latest("C:\\a|b\\in.wav"), "C:\\a|b\\");
  EXPECT_EQ(latest("Q:\\temp\\in.wav"), "Q:\\temp\\");
}

TEST_F(LatestTest, ADirectoryWithoutBackslashIsSearchedFromItsParent) {
  file("root.wav", 1000);
  file("temp/inside.wav", 2000);
  EXPECT_EQ(latest("C:\\temp"), "C:\\root.wav") << "C:\\temp names C: alone";
}

TEST_F(LatestTest, TextsWithoutADirectory) {
  file("root.wav", 1000);
  drive.mkdir("work");
  drive.enter("work");
  EXPECT_EQ(latest(""), "\\root.wav") << "the root of the current directory's drive";
  EXPECT_EQ(latest("in.wav"), "in.wav\\");
  drive.back();
}

TEST_F(LatestTest, ALastBackslashBeyondTheSixteenBitRangeCountsAsNone) {
  file("temp/a.wav", 1000);
  const std::string deep = "C:\\temp\\" + std::string(32760, 'x');
  EXPECT_EQ(latest(deep + "\\in.wav"), deep + "\\in.wav\\");
  const std::string justFits = "C:\\temp\\" + std::string(32758, 'x');  // "\" at 32767
  EXPECT_EQ(latest(justFits + "\\in.wav"), justFits + "\\");
}

TEST_F(LatestTest, ATimeThatCannotBeReadRepeatsTheOneBeforeIt) {
  file("temp/a.wav", 2000);
  file("temp/b.wav", 1000);
  files.unreadable = {"C:\\temp\\b.wav"};
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\b.wav") << "it follows the best time and ties it";

  files.unreadable = {"C:\\temp\\a.wav"};
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\b.wav");
  files.unreadable = {"C:\\temp\\a.wav", "C:\\temp\\b.wav"};
  EXPECT_EQ(latest("C:\\temp\\in.wav"), "C:\\temp\\b.wav");
}

}  // namespace
}  // namespace vellora
