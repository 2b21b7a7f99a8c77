#include "archive/archive_page.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/host_files.h"
#include "support/temp_drive.h"

namespace vellora {
namespace {

struct FixedClock : Clock {
  std::string text = "12/8/2026 1:14:36 PM";
  std::string presentDateTime() override { return text; }
  std::int64_t steadyMilliseconds() override { return 0; }
};

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("temp/vellora");
    drive.write("temp/fid", std::string("\x01\x00\xff\x7f", 4));
    drive.write("temp/acqus", "##TITLE= acquisition\n");
    drive.write("temp/spectrum.eps", "%!PS-Adobe-3.0 EPSF-3.0\n");
    drive.write("temp/fid.wav", "RIFF....WAVE");
  }
  void run(const char* answer) {
    window.answers = {answer};
    archivedata(services, "Input Filename:");
  }

  test::TempDrive drive;
  test::HostFiles files;
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow window;
  FixedClock clock;
  ArchiveServices services{files, shell, window, clock};
};

TEST_F(ArchiveTest, FilesTheMeasurementAndWritesItsPage) {
  run("run1");
  ASSERT_EQ(window.prompts.size(), 1U);
  EXPECT_EQ(window.prompts[0].text, "Subdirectory of C:\\temp\\vellora\\?");
  EXPECT_EQ(drive.list("temp/vellora/run1"),
            (std::vector<std::string>{"acqus.txt", "fid.bin", "fid.wav", "index.htm", "spectrum.eps"}));
  EXPECT_EQ(drive.read("temp/vellora/run1/fid.bin"), drive.read("temp/fid"));
  EXPECT_EQ(drive.read("temp/vellora/run1/acqus.txt"), drive.read("temp/acqus"));
  EXPECT_EQ(drive.read("temp/vellora/run1/spectrum.eps"), drive.read("temp/spectrum.eps"));
  EXPECT_EQ(drive.read("temp/vellora/run1/fid.wav"), drive.read("temp/fid.wav"));
  EXPECT_EQ(drive.read("temp/vellora/run1/index.htm"),
            "<table><tr><td><h3>Input Filename:</h3><p><embed src=fid.wav>"
            "<p><a href=acqus.txt>acqus</a> <a href=fid.bin>fid</a>"
            "<p>created by Sorvenix.EXE by <a href=mailto:vellora@example.org>vellora@example.org</a> "
            "12/8/2026 1:14:36 PM</td><td><img src=spectrum.gif></td></tr></table>");
  ASSERT_EQ(system.shellCalls.size(), 1U);
  EXPECT_EQ(system.shellCalls[0].file, "C:\\temp\\vellora\\run1\\index.htm");
  EXPECT_EQ(system.shellCalls[0].show, SW_MINIMIZE);
}

TEST_F(ArchiveTest, CancelDoesNothingAtAll) {
  run("");
  EXPECT_EQ(drive.list("temp/vellora"), std::vector<std::string>{});
  EXPECT_TRUE(system.shellCalls.empty());
}

TEST_F(ArchiveTest, ASecondRunReplacesCopiesAndPage) {
  run("run1");
  drive.write("temp/acqus", "##TITLE= second acquisition\n");
  clock.text = "12/8/2026 1:20:00 PM";
  run("run1");
  EXPECT_EQ(drive.read("temp/vellora/run1/acqus.txt"), "##TITLE= second acquisition\n");
  EXPECT_NE(drive.read("temp/vellora/run1/index.htm").find("1:20:00 PM</td>"), std::string::npos);
  EXPECT_EQ(system.shellCalls.size(), 2U);
}

TEST_F(ArchiveTest, AMissingSourceIsSkippedAndStillLinked) {
  drive.remove("temp/fid");
  run("run2");
  EXPECT_FALSE(drive.exists("temp/vellora/run2/fid.bin"));
  EXPECT_TRUE(drive.exists("temp/vellora/run2/acqus.txt"));
  EXPECT_NE(drive.read("temp/vellora/run2/index.htm").find("<a href=fid.bin>fid</a>"), std::string::npos);
}

TEST_F(ArchiveTest, ADirectoryThatCannotBeMadeStillAsksTheShell) {
  drive.write("temp/vellora/a", "a file in the way");
  run("a\\b");
  EXPECT_EQ(drive.read("temp/vellora/a"), "a file in the way");
  ASSERT_EQ(system.shellCalls.size(), 1U);
  EXPECT_EQ(system.shellCalls[0].file, "C:\\temp\\vellora\\a\\b\\index.htm");
}

}  // namespace
}  // namespace vellora
