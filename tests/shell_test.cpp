#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/linux/drive_map.h"
#include "platform/linux/shell_execute.h"
#include "shellfiles/shell_open.h"
#include "support/fakes.h"
#include "support/temp_drive.h"

namespace vellora {
namespace {

TEST(OpenAudio, AppliesTheApplicationRelativeRule) {
  struct Case {
    const char *programDir, *fname, *handedOver;
  };
  const Case cases[] = {
      {"C:\\tools", "talk-90.wav", "C:\\tools\\talk-90.wav"},
      {"C:\\tools", "C:\\temp\\vellora\\talk-90.wav", "C:\\temp\\vellora\\talk-90.wav"},
      {"C:\\tools", "a:b.wav", "a:b.wav"},
      {"C:\\tools", "\\temp\\x.wav", "C:\\tools\\\\temp\\x.wav"},
      {"C:\\tools", "\\\\server\\x.wav", "C:\\tools\\\\\\server\\x.wav"},
      {"C:\\tools", "", "C:\\tools\\"},
      {"C:\\", "x.wav", "C:\\\\x.wav"},
  };
  for (const Case& c : cases) {
    test::RecordingModule1 system;
    ShellOpener shell(system, c.programDir);
    std::string fname = c.fname;
    shell.openAudio(fname);
    EXPECT_EQ(fname, c.handedOver) << "the caller's variable holds what was handed over";
    ASSERT_EQ(system.shellCalls.size(), 1U);
    EXPECT_EQ(system.shellCalls[0].file, c.handedOver);
    EXPECT_EQ(system.shellCalls[0].show, SW_HIDE);
  }
}

TEST(ShellOpen, HandsThePathOverUnchanged) {
  test::RecordingModule1 system;
  ShellOpener shell(system, "C:\\tools");
  std::string url = "C:\\temp\\vellora\\run1\\index.htm";
  shell.shellopen(url, SW_MINIMIZE);
  EXPECT_EQ(url, "C:\\temp\\vellora\\run1\\index.htm");
  ASSERT_EQ(system.shellCalls.size(), 1U);
  const auto& call = system.shellCalls[0];
  EXPECT_EQ(call.operation, "open");
  EXPECT_EQ(call.file, url);
  EXPECT_EQ(call.parameters, "");
  EXPECT_EQ(call.directory, "");
  EXPECT_EQ(call.show, 6);
}

class ShellExecuteTest : public ::testing::Test {
 protected:
  explicit ShellExecuteTest(test::FakeOpener::Choice choice = test::FakeOpener::Choice::Player,
                            const std::string& playerScript = {})
      : opener(choice, playerScript) {}
  void SetUp() override { drive.write("talk-90.wav", "RIFF"); }
  void TearDown() override {
    // Nothing the shell started may be left for us to reap.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
  }

  test::TempDrive drive;
  test::FakeOpener opener;
  DriveMap drives = DriveMap::fromEnvironment();
};

TEST_F(ShellExecuteTest, StartsTheDesktopsChoiceWithTheHostPath) {
  EXPECT_GT(shellExecuteOpen(drives, "open", "C:\\talk-90.wav"), 32);
  EXPECT_EQ(opener.waitForArguments(1), (std::vector<std::string>{drive.host("talk-90.wav")}));
  EXPECT_GT(shellExecuteOpen(drives, "open", "c:/"), 32) << "a folder opens as well";
  EXPECT_EQ(opener.waitForArguments(2).back(), drive.root());
}

TEST_F(ShellExecuteTest, StartsNothingForPathsItCannotOpen) {
  for (const char* bad : {"C:\\missing.wav", "C:\\a:b.wav", "E:\\talk-90.wav", "C:\\*.wav"})
    EXPECT_LE(shellExecuteOpen(drives, "open", bad), 32) << bad;
  EXPECT_LE(shellExecuteOpen(drives, "print", "C:\\talk-90.wav"), 32);
  // Give a wrongly started player the time to show itself.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(opener.arguments().empty());
}

// A player that tells where its standard streams lead, then stays.
struct LingeringPlayer : ShellExecuteTest {
  LingeringPlayer()
      : ShellExecuteTest(test::FakeOpener::Choice::Player,
                         "in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1)\n"
                         "printf '%s\\n%s\\n%s\\n' \"$in\" \"$out\" $$ > \"$VELLORA_STREAMS.tmp\"\n"
                         "mv \"$VELLORA_STREAMS.tmp\" \"$VELLORA_STREAMS\"\n"
                         "exec sleep 60 2>/dev/null\n") {}
};

TEST_F(LingeringPlayer, IsNotWaitedForAndHasNoTerminal) {
  ::setenv("VELLORA_STREAMS", drive.host("streams").c_str(), 1);
  EXPECT_GT(shellExecuteOpen(drives, "open", "C:\\talk-90.wav"), 32);
  ::unsetenv("VELLORA_STREAMS");

  for (int i = 0; i < 1000 && !drive.exists("streams"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(drive.exists("streams"));
  const std::string streams = drive.read("streams");
  ASSERT_GT(streams.size(), 20U);
  const pid_t program = std::stoi(streams.substr(20));
  EXPECT_EQ(::kill(program, 0), 0) << "the call returned while the program still runs";
  ::kill(program, SIGKILL);
  EXPECT_EQ(streams.substr(0, 20), "/dev/null\n/dev/null\n");
}

}  // namespace
}  // namespace vellora
