// vellora-cli run as a user runs it: in a directory of its own, on a
// temporary drive C:, with its output and exit status captured.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <sstream>

#include "cli/progress_line.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"

extern char** environ;

namespace vellora {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Names = std::vector<std::string>;

struct Outcome {
  int status = -1;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("rec");
    drive.mkdir("capture");
    drive.write("rec/talk.wav", talk);
  }

  // Runs the program in `directory`, a folder of the drive, to its end.
  Outcome run(std::vector<std::string> arguments, std::string_view directory = "rec") {
    arguments.insert(arguments.begin(), VELLORA_CLI);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string where = drive.host(directory), out = drive.host("capture/out"),
                      err = drive.host("capture/err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, where.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, drive.read("capture/out"),
            drive.read("capture/err")};
  }

  test::TempDrive drive;
  const std::string talk = test::canonicalWav(44100, 2, 16, 1000);
  const std::string talk90 = test::withRates(talk, 21, 39690, 158760);
};

TEST_F(CliTest, ConvertsABatchPastABadFile) {
  const std::string song = test::canonicalWav(22050, 1, 8, 501);
  drive.write("rec/bad.wav", std::string("RIFF\4\0\0\0WAVE", 12));
  drive.write("rec/song.wav", song);

  const Outcome r = run({"-o", "out", "talk.wav", "bad.wav", "song.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "out/talk-90.wav: 44100 Hz -> 39690 Hz, 16-bit\n"
            "out/song-90.wav: 22050 Hz -> 19845 Hz, 8-bit\n");
  EXPECT_EQ(r.err,
            "vellora-cli: Found no format chunk in bad.wav: the file ends before a format chunk. "
            "Nothing was written.\n");
  EXPECT_EQ(drive.list("rec/out"), (Names{"song-90.wav", "talk-90.wav"}));
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), talk90);
  EXPECT_EQ(drive.read("rec/out/song-90.wav"), test::withRates(song, 21, 19845, 19845));
  EXPECT_EQ(drive.read("rec/talk.wav"), talk);
  EXPECT_EQ(drive.read("rec/song.wav"), song);
  EXPECT_EQ(drive.list("rec"), (Names{"bad.wav", "out", "song.wav", "talk.wav"}));
}

TEST_F(CliTest, ExitsWithOneWhenAFileFails) {
  const Outcome r = run({"-o", "out", "gone.wav", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vellora-cli: Could not read gone.wav: No such file or directory\n");
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndTouchNothing) {
  const std::vector<Names> cases = {{},
                                    {"-p", "0", "talk.wav"},
                                    {"-p", "abc", "talk.wav"},
                                    {"-p", "-5", "talk.wav"},
                                    {"talk.wav", "-p"},
                                    {"--loud", "talk.wav"},
                                    {"--info", "--force", "talk.wav"}};
  for (const Names& arguments : cases) {
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr("\nUsage: vellora-cli [-fnqv] [-p PERCENT]"));
  }
  EXPECT_THAT(run({"-p", "abc", "talk.wav"}).err,
              StartsWith("vellora-cli: -p takes a percentage greater than 0, not 'abc'\n"));
  EXPECT_THAT(run({"--loud"}).err, StartsWith("vellora-cli: unknown option '--loud'\n"));
  EXPECT_FALSE(drive.exists("temp"));
  EXPECT_EQ(drive.list("rec"), (Names{"talk.wav"}));
}

TEST_F(CliTest, HelpAndVersionExitWithZero) {
  const Outcome help = run({"--help"}), version = run({"--version"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith("Usage: vellora-cli [-fnqv] [-p PERCENT] [-o DIR] [--play] [--sync]"));
  EXPECT_THAT(help.out, HasSubstr("OUTPUT: OLD Hz -> NEW Hz, BITS-bit"));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vellora-cli 0.1.0\n");
}

TEST_F(CliTest, KeepsAnExistingOutputUnlessForced) {
  drive.mkdir("rec/out");
  drive.write("rec/out/talk-90.wav", "an earlier take");
  const Outcome kept = run({"-o", "out", "talk.wav"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "vellora-cli: out/talk-90.wav exists; use --force to replace it\n");
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), "an earlier take");

  const Outcome forced = run({"--force", "-o", "out", "talk.wav"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), talk90);
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

TEST_F(CliTest, NamesCarryTheRoundedPercentAndRatesTheExactOne) {
  for (const char* name : {"TALK.WAV", "a.wav.wav", "take"})
    drive.write(std::string("rec/") + name, talk);
  const Outcome r = run({"-p", "90.5", "-o", "out", "talk.wav", "TALK.WAV", "a.wav.wav", "take"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(drive.list("rec/out"),
            (Names{"TALK-90.WAV", "a-90.wav-90.wav", "take-90", "talk-90.wav"}));
  EXPECT_EQ(drive.read("rec/out/take-90"), test::withRates(talk, 21, 39910, 159642));
}

TEST_F(CliTest, InfoPrintsTheHeaderAndWritesNothing) {
  const Outcome r = run({"--info", "talk.wav", "gone.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "1036 talk.wav\n"
            "bytespersa 4\n"
            "bitspersec 176400\n"
            "bitspersam 16\n"
            "nchannels  2\n"
            "samplerate 44100\n");
  EXPECT_EQ(r.err, "vellora-cli: Could not read gone.wav: No such file or directory\n");
  EXPECT_FALSE(drive.exists("temp"));
  EXPECT_EQ(drive.list("rec"), (Names{"talk.wav"}));
}

TEST_F(CliTest, DefaultOutputDirectoryIsCreatedOnDriveC) {
  const Outcome r = run({"talk.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, drive.host("temp/vellora/talk-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);
}

TEST_F(CliTest, MissingOutputDirectoryIsCreatedWithItsParents) {
  const std::string out = drive.host("new/deeper");
  const Outcome r = run({"-o", out, "../rec/talk.wav"}, "capture");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, out + "/talk-90.wav: 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.list("new/deeper"), (Names{"talk-90.wav"}));
}

TEST_F(CliTest, PlayHandsTheCopyToTheOpener) {
  test::FakeOpener opener;
  const Outcome r = run({"--play", "-o", "out", "talk.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(opener.waitForArguments(1), (Names{drive.host("rec/out/talk-90.wav")}));
}

TEST(ProgressLine, RedrawsOnlyLongCopiesOnATerminal) {
  constexpr std::uint64_t total = 2 * cli::ProgressLine::kLongCopy;
  std::ostringstream shown;
  cli::ProgressLine line(shown, "big.wav", true);
  line.show(total / 4, total);
  line.show(total / 4 + 1, total);
  line.show(total, total);
  line.finish();
  EXPECT_EQ(shown.str(), "\rcopying big.wav: 25%\rcopying big.wav: 100%\n");

  std::ostringstream quiet;
  cli::ProgressLine shortCopy(quiet, "a.wav", true), piped(quiet, "b.wav", false);
  shortCopy.show(1, cli::ProgressLine::kLongCopy);
  piped.show(1, total);
  shortCopy.finish();
  piped.finish();
  EXPECT_EQ(quiet.str(), "");
}

TEST_F(CliTest, RefusesDirectoriesAndFifosWithoutWaiting) {
  drive.mkdir("rec/folder.wav");
  ASSERT_EQ(::mkfifo(drive.host("rec/pipe.wav").c_str(), 0644), 0);
  const Outcome r = run({"-o", "out", "folder.wav", "pipe.wav", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "vellora-cli: Could not read folder.wav: it is a directory\n"
            "vellora-cli: Could not read pipe.wav: it is not a regular file\n");
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

}  // namespace
}  // namespace vellora
