// vellora-cli run as a user runs it: in a directory of its own, on a
// temporary drive C:, with its output and exit status captured.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <sstream>
#include <thread>

#include "cli/progress_line.h"
#include "cli/stream.h"
#include "support/format_builders.h"
#include "support/naming_cases.h"
#include "support/host_files.h"
#include "support/program.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Names = std::vector<std::string>;
using test::Redirect;

// A path below the output directory "out" as the program prints it.
std::string inOut(const std::string& name) { return test::hostPath("out/" + name); }
const std::string kGone = "vellora-cli: Could not read gone.wav: " + test::noSuchFileReason() + "\n";

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

  // The program started in `directory`, a folder of the drive, its
  // standard output and error going to files of the drive.
  test::Launch launch(Names arguments, std::string_view directory = "rec") const {
    return {.program = VELLORA_CLI,
            .arguments = std::move(arguments),
            .directory = drive.host(directory),
            .input = {},
            .output = Redirect::toFile(drive.host("capture/out")),
            .error = Redirect::toFile(drive.host("capture/err"))};
  }

  // Runs the program to its end; standard input comes from `input`, a file
  // of the drive, when given.
  Outcome run(Names arguments, std::string_view directory = "rec", std::string_view input = {}) {
    test::Launch started = launch(std::move(arguments), directory);
    if (!input.empty()) started.input = Redirect::toFile(drive.host(input));
    return start(started);
  }

  // Runs the program as launched; what it printed is read from the usual
  // files, and is empty where a stream went elsewhere.
  Outcome start(const test::Launch& launched) {
    drive.remove("capture/out");
    drive.remove("capture/err");
    const int status = test::runProgram(launched);
    const auto printed = [this](const char* file) { return drive.exists(file) ? drive.read(file) : ""; };
    return {status, printed("capture/out"), printed("capture/err")};
  }

  // Runs the program with pipes on both standard input, fed `input`, and
  // standard output, read into the outcome.
  Outcome runPiped(Names arguments, const std::string& input) {
    test::Launch started = launch(std::move(arguments));
    started.output = {};
    const test::Piped piped = test::runPiped(started, input);
    return {piped.status, piped.out, drive.read("capture/err")};
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
            inOut("talk-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n" +
                inOut("song-90.wav") + ": 22050 Hz -> 19845 Hz, 8-bit\n");
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

// Names that system paths reserve are taken as the shell gives them.
// The window names its copies by the same cases (speed_job_test).
TEST_F(CliTest, NamesCopiesAsTheWindowDoes) {
  for (const test::NamingCase& c : test::kNamingCases) {
    drive.write(std::string("rec/") + c.input, talk);
    const std::string speed = c.speed;
    const Outcome r = run({"-n", "-o", "out", speed.starts_with("-r") ? "-r" : "-p",
                           speed.starts_with("-r") ? speed.substr(2) : speed, c.input});
    EXPECT_THAT(r.out, StartsWith("would write " + inOut(c.output) + ": ")) << c.input << " at " << c.speed;
  }
}

TEST_F(CliTest, TakesHostNamesWithReservedCharacters) {
  VELLORA_SKIP_WITHOUT(ReservedCharactersInNames);
  drive.write("rec/rec 12:30.wav", talk);
  drive.write("rec/a\\b?.wav", talk);
  const Outcome r = run({"-o", "out", "rec 12:30.wav", "a\\b?.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "out/rec 12:30-90.wav: 44100 Hz -> 39690 Hz, 16-bit\n"
            "out/a\\b?-90.wav: 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.read("rec/out/rec 12:30-90.wav"), talk90);
  EXPECT_EQ(drive.read("rec/out/a\\b?-90.wav"), talk90);
}

TEST_F(CliTest, ExitsWithOneWhenAFileFails) {
  const Outcome r = run({"-o", "out", "gone.wav", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kGone);
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
    EXPECT_THAT(r.err, HasSubstr("\nUsage: vellora-cli [-fnqv] [-p PERCENT | -r HZ]"));
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
  EXPECT_THAT(help.out, StartsWith("Usage: vellora-cli [-fnqv] [-p PERCENT | -r HZ] [-o DIR] [--play] [--sync]"));
  EXPECT_THAT(help.out, HasSubstr("OUTPUT: OLD Hz -> NEW Hz, BITS-bit"));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vellora-cli 0.1.0\n");
}

TEST_F(CliTest, KeepsAnExistingOutputUnlessForced) {
  drive.mkdir("rec/out");
  drive.write("rec/out/talk-90.wav", "an earlier take");
  const Outcome kept = run({"-o", "out", "talk.wav"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "vellora-cli: " + inOut("talk-90.wav") + " exists; use --force to replace it\n");
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), "an earlier take");

  const Outcome forced = run({"--force", "-o", "out", "talk.wav"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), talk90);
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

// A link at the output that leads nowhere is not written through, even
// with --force, as cp refuses (links planted by another user: host_file_system_test).
TEST_F(CliTest, WritesThroughNoDanglingLink) {
  VELLORA_SKIP_WITHOUT(SymbolicLinks);
  drive.mkdir("rec/out");
  drive.link("rec/out/talk-90.wav", "elsewhere/talk-90.wav");
  drive.mkdir("elsewhere");
  for (const Outcome& dangling : {run({"-o", "out", "talk.wav"}), run({"-f", "-o", "out", "talk.wav"})}) {
    EXPECT_EQ(dangling.status, 1);
    EXPECT_EQ(dangling.err,
              "vellora-cli: Could not write " + inOut("talk-90.wav") + ": not writing through dangling symlink\n");
  }
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
  EXPECT_EQ(drive.list("elsewhere"), Names{});
}

TEST_F(CliTest, NamesCarryTheRoundedPercentAndRatesTheExactOne) {
  for (const char* name : {"LOUD.WAV", "a.wav.wav", "take"})
    drive.write(std::string("rec/") + name, talk);
  const Outcome r = run({"-p", "90.5", "-o", "out", "talk.wav", "LOUD.WAV", "a.wav.wav", "take"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(drive.list("rec/out"),
            (Names{"LOUD-90.WAV", "a-90.wav-90.wav", "take-90", "talk-90.wav"}));
  EXPECT_EQ(drive.read("rec/out/take-90"), test::withRates(talk, 21, 39910, 159640));
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
            "samplerate 44100\n"
            "format     WAV\n");
  EXPECT_EQ(r.err, kGone);
  EXPECT_FALSE(drive.exists("temp"));
  EXPECT_EQ(drive.list("rec"), (Names{"talk.wav"}));
  // CAF has no size field of its own: the first line gives the file's length.
  drive.write("rec/take.caf", test::CafBuilder().desc(48000, "lpcm", 1, 24, 3).chunk("data", test::pattern(30)).bytes());
  EXPECT_EQ(run({"-i", "take.caf"}).out,
            "94 take.caf\nbytespersa 3\nbitspersec 144000\nbitspersam 24\nnchannels  1\nsamplerate 48000\n"
            "format     CAF\n");
}

TEST_F(CliTest, DefaultOutputDirectoryIsCreatedOnDriveC) {
  const Outcome r = run({"talk.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, test::hostOf("C:\\temp\\vellora\\talk-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);
}

TEST_F(CliTest, MissingOutputDirectoryIsCreatedWithItsParents) {
  const std::string out = drive.host("new/deeper");
  const Outcome r = run({"-o", out, "../rec/talk.wav"}, "capture");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, out + test::hostPath("/talk-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.list("new/deeper"), (Names{"talk-90.wav"}));
}

// "Open with" makes Vellora the desktop's choice for WAV files; --play must
// still never start a second Vellora, but the next player registered.
TEST_F(CliTest, PlayHandsTheCopyToAPlayerNeverToVellora) {
  VELLORA_SKIP_WITHOUT(RecordingPlayer);
  test::FakeOpener desktop(test::FakeOpener::Choice::VelloraThenPlayer);
  const Outcome r = run({"--play", "-o", "out", "talk.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(desktop.waitForArguments(1), (Names{drive.host("rec/out/talk-90.wav")}));
  EXPECT_EQ(desktop.velloraArguments(), Names{});
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

// One end of a stream in memory: it reads `readable` bytes (endless when
// unset) and counts what is written to it.
struct MemoryEnd : StreamEnd {
  std::optional<std::uint64_t> readable;
  std::uint64_t written = 0;
  ByteSource::Read readSome(std::span<std::byte> into) override {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), readable.value_or(into.size())));
    if (readable) *readable -= n;
    return {n, {}};
  }
  IoStatus writeAll(std::span<const std::byte> bytes) override {
    written += bytes.size();
    return {};
  }
  bool isTerminal() const override { return false; }
  bool wasClosed() const override { return false; }
  std::optional<std::uint64_t> regularFileRest() const override { return readable; }
  bool sameFileAs(const StreamEnd&) const override { return false; }
  bool undoWrites() override { return false; }
};

struct MemoryConsole : Console {
  MemoryConsole() : Console(std::make_unique<MemoryEnd>(), std::make_unique<MemoryEnd>(), std::make_unique<MemoryEnd>()) {}
  Opened<StreamEnd> openForReading(const std::string&) override { return {nullptr, IoStatus::failure("none")}; }
  std::optional<StreamMove> moveInSystem(StreamEnd&, StreamEnd&, std::optional<std::uint64_t>) override {
    return std::nullopt;
  }
  const HostWords& words() const override {
    static const HostWords none;
    return none;
  }
};

// A file that grows while it is read (its own output appended to it, unseen
// by any check, would never end) is streamed only as far as it reached when
// the stream began.
TEST(WriteStream, ReadsARegularFileOnlyAsFarAsItReached) {
  MemoryConsole console;
  MemoryEnd growing, out;
  growing.readable = std::uint64_t{8} << 20;  // what it has grown to by the time it is read
  cli::StreamEndReader reader(growing, std::uint64_t{3} << 20);
  std::array<std::byte, 44> header{};  // what the change of its header read
  ASSERT_EQ(reader.readSome(header).count, header.size());
  const StreamMove moved = cli::writeRest(growing, reader.left(), out, console);
  EXPECT_TRUE(moved.status) << moved.status.reason();
  EXPECT_EQ(header.size() + out.written, std::uint64_t{3} << 20);
}

TEST_F(CliTest, RefusesDirectories) {
  drive.mkdir("rec/folder.wav");
  const Outcome r = run({"-o", "out", "folder.wav", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vellora-cli: Could not read folder.wav: it is a directory\n");
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

TEST_F(CliTest, RefusesFifosWithoutWaiting) {
  VELLORA_SKIP_WITHOUT(Fifos);
  drive.makeFifo("rec/pipe.wav");
  const Outcome r = run({"-o", "out", "pipe.wav", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vellora-cli: Could not read pipe.wav: it is not a regular file\n");
  EXPECT_EQ(drive.list("rec/out"), (Names{"talk-90.wav"}));
}

TEST_F(CliTest, EveryOptionFormReachesTheSameConversion) {
  const std::string talk80 = test::withRates(talk, 21, 35280, 141120);
  const std::vector<Names> forms = {{"-p", "80", "-o", "out", "talk.wav"},
                                    {"-p80", "-oout", "talk.wav"},
                                    {"--percent=80", "--output-dir=out", "talk.wav"},
                                    {"--percent", "80%", "--output-dir", "out", "talk.wav"},
                                    {"talk.wav", "-fqp", "80", "-o", "out"},
                                    {"--perc=80", "--out=out", "--", "talk.wav"}};
  for (const Names& arguments : forms) {
    drive.remove("rec/out");
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 0) << ::testing::PrintToString(arguments) << r.err;
    EXPECT_EQ(drive.list("rec/out"), (Names{"talk-80.wav"})) << ::testing::PrintToString(arguments);
    EXPECT_EQ(drive.read("rec/out/talk-80.wav"), talk80);
  }
  // After --, a FILE may look like an option.
  drive.write("rec/-q.wav", talk);
  const Outcome dashed = run({"-o", "out", "--", "-q.wav"});
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_EQ(dashed.out, inOut("-q-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(run({"-h"}).out, run({"--help"}).out);
  EXPECT_EQ(run({"-V"}).out, "vellora-cli 0.1.0\n");
}

TEST_F(CliTest, PercentIsAWholeNumberOrAUsageError) {
  for (const char* text : {"9O", "90abc", "", "%", "90%%", " 90", "+90", "0x5A", "1e2", "inf", "nan",
                           "0", "-5", "90,5"}) {
    for (const std::string& option : {std::string("-p"), std::string("--percent=")}) {
      Names arguments = option == "-p" ? Names{"-p", text, "-o", "out", "talk.wav"}
                                       : Names{option + text, "-o", "out", "talk.wav"};
      const Outcome r = run(arguments);
      EXPECT_EQ(r.status, 2) << ::testing::PrintToString(arguments);
      EXPECT_THAT(r.err, HasSubstr(std::string("not '") + text + "'\n"));
    }
  }
  EXPECT_FALSE(drive.exists("rec/out"));
  EXPECT_EQ(run({"-p", "87.5%", "-o", "out", "talk.wav"}).out,
            inOut("talk-88.wav") + ": 44100 Hz -> 38588 Hz, 16-bit\n");
}

TEST_F(CliTest, QuietSaysOnlyErrorsAndVerboseSaysWhatItFound) {
  const std::string junked = test::WavBuilder()
                                 .junk(27)
                                 .fact(4)
                                 .fmt(test::Format::pcm(8000, 1, 16))
                                 .data(16)
                                 .bytes();
  drive.write("rec/junked.wav", junked);
  const Outcome q = run({"-q", "-o", "out", "talk.wav", "gone.wav"});
  EXPECT_EQ(q.status, 1);
  EXPECT_EQ(q.out, "");
  EXPECT_EQ(q.err, kGone);

  const Outcome v = run({"-v", "-f", "-o", "out", "junked.wav"});
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_THAT(v.out, StartsWith(inOut("junked-90.wav") +
                                ": 8000 Hz -> 7200 Hz, 16-bit\n"
                                "junked.wav: WAV; format chunk at offset 60, 2 chunks skipped before it; "
                                "8 bytes patched in 1 place; copied by "));
  EXPECT_THAT(v.out, ::testing::AnyOf(HasSubstr("by kernel copy\n"), HasSubstr("by read/write\n"),
                                      HasSubstr("by cloned\n"), HasSubstr("by CopyFileExW\n")));
}

TEST_F(CliTest, DryRunSaysWhatWouldBeWrittenAndWritesNothing) {
  drive.write("rec/bad.wav", std::string("RIFF\4\0\0\0WAVE", 12));
  const Outcome r = run({"-n", "-o", "out", "talk.wav", "bad.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "would write " + inOut("talk-90.wav") + ": 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(r.err,
            "vellora-cli: Found no format chunk in bad.wav: the file ends before a format chunk. "
            "Nothing was written.\n");
  EXPECT_EQ(drive.list("rec"), (Names{"bad.wav", "talk.wav"}));

  drive.mkdir("rec/out");
  drive.write("rec/out/talk-90.wav", "an earlier take");
  EXPECT_EQ(run({"-n", "-o", "out", "talk.wav"}).status, 1);
  EXPECT_EQ(run({"-nf", "-o", "out", "talk.wav"}).status, 0);
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), "an earlier take");
  const Outcome streamed = run({"-nc", "-"}, "rec", "rec/talk.wav");
  EXPECT_EQ(streamed.status, 0) << streamed.err;
  EXPECT_EQ(streamed.out, "");
  EXPECT_EQ(streamed.err, "would write standard output: 44100 Hz -> 39690 Hz, 16-bit\n");
}

// A long file (several pipe buffers) with a chunk before the format chunk
// and a stream writer's placeholder sizes.
// The copy's name at 90%.
std::string speedName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return name.substr(0, dot) + "-90" + name.substr(dot);
}

std::string longStream() {
  std::string samples(5 << 20, '\0');
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>(i * 7 + i / 251);
  return test::WavBuilder()
             .riffSize(0xFFFFFFFF)
             .chunk("LIST", std::string(301, 'x'))
             .fmt(test::Format::pcm(48000, 2, 16))
             .chunkWithSize("data", 0xFFFFFFFF, samples)
             .bytes();
}

TEST_F(CliTest, StreamsMatchTheFileOutputByteForByte) {
  const std::string wav = longStream();
  drive.write("rec/long.wav", wav);
  const Outcome file = run({"-o", "out", "long.wav"});
  ASSERT_EQ(file.status, 0) << file.err;
  const std::string expected = drive.read("rec/out/long-90.wav");
  ASSERT_EQ(expected.size(), wav.size());
  EXPECT_NE(expected, wav);

  const Outcome toFile = run({"-c", "long.wav"});
  EXPECT_EQ(toFile.status, 0) << toFile.err;
  EXPECT_TRUE(toFile.out == expected);
  EXPECT_EQ(toFile.err, "standard output: 48000 Hz -> 43200 Hz, 16-bit\n");

  const Outcome fromFileRedirect = run({"-c", "-"}, "rec", "rec/long.wav");
  EXPECT_EQ(fromFileRedirect.status, 0) << fromFileRedirect.err;
  EXPECT_TRUE(fromFileRedirect.out == expected);

  const Outcome piped = runPiped({"-qc", "-"}, wav);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  EXPECT_TRUE(piped.out == expected);

  const Outcome fileToPipe = runPiped({"-c", drive.host("rec/long.wav")}, "");
  EXPECT_EQ(fileToPipe.status, 0) << fileToPipe.err;
  EXPECT_TRUE(fileToPipe.out == expected);
  EXPECT_EQ(drive.list("rec"), (Names{"long.wav", "out", "talk.wav"}));
}

// Chunks before the format chunk pass through as they are read, however
// long: more than the 16 MiB a stream once held.
TEST_F(CliTest, StreamsForwardChunksBeforeTheFormatChunk) {
  const std::string listed = test::WavBuilder()
                                 .chunk("LIST", std::string(17 << 20, 'l'))
                                 .junk(7)
                                 .fmt(test::Format::pcm(22050, 1, 8))
                                 .data(70000)
                                 .bytes();
  drive.write("rec/listed.wav", listed);
  ASSERT_EQ(run({"-o", "out", "listed.wav"}).status, 0);
  const Outcome piped = runPiped({"-c", "-"}, listed);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == drive.read("rec/out/listed-90.wav"));

  // Without a format chunk the stream fails at its end, after the chunks it forwarded.
  const std::string endless = test::WavBuilder().chunk("JUNK", std::string(17 << 20, 'j')).bytes();
  const Outcome refused = runPiped({"-c", "-"}, endless);
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.out == endless);
  EXPECT_EQ(refused.err,
            "vellora-cli: Found no format chunk in standard input: the file ends before a format chunk. "
            "Only the first " + std::to_string(endless.size()) + " bytes were written.\n");
}

TEST_F(CliTest, StreamsRefuseWhatTheyCannotDo) {
  drive.write("rec/bad.wav", std::string("RIFF\4\0\0\0WAVE", 12));
  const Outcome bad = runPiped({"-c", "-"}, std::string("RIFF\4\0\0\0WAVEdata", 16) + std::string(300000, 'x'));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err,
            "vellora-cli: Found no format chunk in standard input: its data chunk comes before "
            "the format chunk. Nothing was written.\n");
  const Outcome truncated = runPiped({"-c", "-"}, talk.substr(0, 30));
  EXPECT_EQ(truncated.status, 1);
  EXPECT_EQ(truncated.out, "");

  // Appended to itself, a file would grow without end.
  for (const Names& arguments : {Names{"-c", "talk.wav"}, Names{"-c", "-"}}) {
    test::Launch appended = launch(arguments);
    appended.output = Redirect::appendTo(drive.host("rec/talk.wav"));
    if (arguments.back() == "-") appended.input = Redirect::toFile(drive.host("rec/talk.wav"));
    EXPECT_EQ(test::runProgram(appended), 1);
    EXPECT_EQ(drive.read("capture/err"), "vellora-cli: Could not write standard output: it is " +
                                             std::string(arguments.back() == "-" ? "standard input" : "talk.wav") +
                                             " itself\n");
    EXPECT_TRUE(drive.read("rec/talk.wav") == talk) << "talk.wav changed";
  }

  for (const Names& arguments : {Names{"-c", "talk.wav", "talk.wav"}, Names{"-"}, Names{"-i", "-"}, Names{"-o", "out", "-"},
                                 Names{"-c", "-o", "out", "talk.wav"}, Names{"-c", "--play", "talk.wav"}}) {
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_THAT(run({"-c", "talk.wav", "talk.wav"}).err,
              StartsWith("vellora-cli: -c writes one file to standard output, not 2\n"));
  EXPECT_THAT(run({"-"}).err,
              StartsWith("vellora-cli: standard input (-) can only be converted with -c\n"));
  EXPECT_THAT(run({"-i", "-"}).err, StartsWith("vellora-cli: --info reads files, not standard input (-)\n"));
}

TEST_F(CliTest, StreamsShunTerminals) {
  if (!test::hasTerminals()) GTEST_SKIP() << "no pseudo-terminal to start the program on";
  test::Launch toTerminal = launch({"-c", "talk.wav"});
  toTerminal.output = Redirect::terminal();
  EXPECT_EQ(start(toTerminal).err,
            "vellora-cli: will not write audio data to a terminal; redirect standard output or use a "
            "pipe\n");
  // Without the refusal it would wait, silently, for a recording to be typed.
  test::Launch fromTerminal = launch({"-c", "-"});
  fromTerminal.input = Redirect::terminal();
  const Outcome r = start(fromTerminal);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "vellora-cli: will not read audio data from a terminal; redirect standard input or use a "
            "pipe\n");
  EXPECT_EQ(r.out, "");
}

// Any name, of any length, streams as it converts: the input is opened by
// the host's own means, not as narrow text.
TEST_F(CliTest, StreamsNamesInAnyLanguageAndOfAnyLength) {
  std::string deep = "rec";
  for (char level = 'a'; deep.size() < 300; ++level) deep += "/" + std::string(60, level);
  drive.mkdir(deep);
  for (const std::string& input : {std::string("rec/größe Пример.wav"), deep + "/talk.wav"}) {
    SCOPED_TRACE(input);
    drive.write(input, talk);
    test::Launch streamed = launch({"-c", drive.host(input)});
    streamed.output = Redirect::toFile(drive.host("capture/x.wav"));
    EXPECT_EQ(test::runProgram(streamed), 0) << drive.read("capture/err");
    EXPECT_EQ(drive.read("capture/x.wav"), talk90);
  }
}

// The help speaks of the host it runs on: the drive map, its variable and
// the manual page only where they exist.
TEST_F(CliTest, HelpSpeaksOfItsOwnHost) {
  const std::string help = run({"--help"}).out;
  const bool linux = test::lacks(test::Feature::DriveMap).empty();
  for (const char* word : {"drive map", "VELLORA_DRIVE_C", "~/temp/vellora", "never Vellora", "vellora-cli(1)"})
    EXPECT_EQ(help.find(word) != std::string::npos, linux) << word;
  EXPECT_THAT(help, HasSubstr("(default\n                         C:\\temp\\vellora\\"));
}

// A stream that fails cuts its output file back to the length it had at the
// start, and never removes it: an empty file may be another user's, or a
// log that a script appends to.
TEST_F(CliTest, AFailedStreamPutsItsOutputFileBackAsItWas) {
  drive.write("rec/bad.wav", std::string("RIFF\4\0\0\0WAVE", 12));
  // One that fails after it wrote a MiB of chunks says that nothing is left.
  drive.write("rec/endless.wav", test::WavBuilder().chunk("JUNK", std::string(1 << 20, 'j')).bytes());
  for (const char* input : {"gone.wav", "bad.wav", "endless.wav"}) {
    SCOPED_TRACE(input);
    test::Launch made = launch({"-c", input});
    made.output = Redirect::toFile(drive.host("capture/x.wav"));
    EXPECT_EQ(test::runProgram(made), 1);
    EXPECT_EQ(drive.read("capture/x.wav"), "");
    EXPECT_THAT(drive.read("capture/err"), Not(HasSubstr("bytes were written")));

    for (const char* before : {"", "kept"}) {
      drive.write("capture/notes.wav", before);
      made.output = Redirect::appendTo(drive.host("capture/notes.wav"));
      EXPECT_EQ(test::runProgram(made), 1);
      EXPECT_EQ(drive.read("capture/notes.wav"), before);
    }
  }
}

// A closed standard stream gets no file in its place: the input does not
// pass for standard output, and reading a closed input fails.
TEST_F(CliTest, ClosedStandardStreamsStayClosed) {
  test::Launch streamed = launch({"-c", "talk.wav"});
  streamed.output = Redirect::closed();
  Outcome r = start(streamed);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vellora-cli: standard output is closed; redirect it to a file or a pipe\n");

  streamed = launch({"-c", "-"});
  streamed.input = Redirect::closed();
  r = start(streamed);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, StartsWith("vellora-cli: Could not read standard input: "));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(drive.read("rec/talk.wav"), talk);
}

// What could not be printed fails the run, as with coreutils; with nothing
// to print, nothing is lost.
TEST_F(CliTest, LostStandardOutputFailsTheRun) {
  test::Launch closed = launch({"-o", "out", "talk.wav"});
  closed.output = Redirect::closed();
  const Outcome r = start(closed);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, StartsWith("vellora-cli: Could not write standard output: "));
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), talk90);
  closed.arguments = {"-q", "-f", "-o", "out", "talk.wav"};
  EXPECT_EQ(test::runProgram(closed), 0);

  if (!test::hasFullDevice()) GTEST_SKIP() << "no device that is always full";
  for (const Names& arguments : {Names{"-i", "talk.wav"}, Names{"--help"}}) {
    test::Launch full = launch(arguments);
    full.output = Redirect::full();
    const Outcome f = start(full);
    EXPECT_EQ(f.status, 1) << ::testing::PrintToString(arguments);
    EXPECT_EQ(f.err, "vellora-cli: Could not write standard output: No space left on device\n");
  }
}

// A recording whose header says 48002 Hz gets exactly 48000, and its name says so.
TEST_F(CliTest, RateSetsTheNewRateItself) {
  const std::string drifted = test::canonicalWav(48002, 2, 16, 400);
  drive.write("rec/take.wav", drifted);
  const Outcome r = run({"-r", "48000", "-o", "out", "take.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, inOut("take-48000Hz.wav") + ": 48002 Hz -> 48000 Hz, 16-bit\n");
  EXPECT_EQ(drive.read("rec/out/take-48000Hz.wav"), test::withRates(drifted, 21, 48000, 192000));
  EXPECT_EQ(run({"--rate=48000Hz", "-nf", "-o", "out", "take.wav"}).status, 0);

  for (const Names& wrong : {Names{"-r", "0", "take.wav"}, Names{"-r", "48k", "take.wav"},
                             Names{"-r", "4294967296", "take.wav"}, Names{"-p", "90", "-r", "48000", "take.wav"}}) {
    const Outcome refused = run(wrong);
    EXPECT_EQ(refused.status, 2) << ::testing::PrintToString(wrong);
  }
  EXPECT_THAT(run({"-p", "90", "-r", "48000", "take.wav"}).err,
              StartsWith("vellora-cli: -p and -r both name the new speed; give one of them\n"));
}

// Every format, in the file itself: one small write, or nothing at all.
TEST_F(CliTest, InPlaceChangesTheFileItselfOrNothing) {
  const test::AiffBuilder aiff = test::AiffBuilder().ssnd(3000).comm(2, 750, 16, 44100);
  const std::string ogg = test::oggVorbis(44100, 2, 9);
  const std::string chained = ogg + test::oggVorbis(48000, 2, 10, 40, 9000);
  drive.write("rec/take.aiff", aiff.bytes());
  drive.write("rec/take.ogg", ogg);
  drive.write("rec/chained.ogg", chained);
  drive.write("rec/take.flac", "fLaC" + test::pattern(600));

  const Outcome dry = run({"--in-place", "-n", "talk.wav", "take.aiff"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "would change talk.wav: 44100 Hz -> 39690 Hz, 16-bit\n"
                     "would change take.aiff: 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(drive.read("rec/talk.wav"), talk);

  const Outcome r = run({"--in-place", "--sync", "-v", "talk.wav", "take.aiff", "take.ogg", "chained.ogg", "take.flac"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, StartsWith("talk.wav: 44100 Hz -> 39690 Hz, 16-bit\n"
                                "talk.wav: WAV; format chunk at offset 12, 0 chunks skipped before it; 8 bytes "
                                "patched in 1 place\n"
                                "take.aiff: 44100 Hz -> 39690 Hz, 16-bit\n"));
  EXPECT_EQ(drive.read("rec/talk.wav"), talk90);
  std::string aiff90 = aiff.bytes();
  aiff90.replace(aiff.rateOffset(), 10, test::extended80(39690));
  EXPECT_EQ(drive.read("rec/take.aiff"), aiff90);
  EXPECT_NE(drive.read("rec/take.ogg"), ogg);
  EXPECT_EQ(drive.read("rec/chained.ogg"), chained);
  EXPECT_EQ(r.err,
            "vellora-cli: Could not change chained.ogg in place: its changes span bytes 22..4109, more than one "
            "512-byte sector, which a power cut could leave half-written; convert it into a copy instead. Nothing "
            "was written.\n"
            "vellora-cli: Could not change take.flac in place: every frame of a FLAC file changes; convert it "
            "into a copy instead. Nothing was written.\n");
  EXPECT_EQ(drive.list("rec"), (Names{"chained.ogg", "take.aiff", "take.flac", "take.ogg", "talk.wav"}));

  ::chmod(drive.host("rec/talk.wav").c_str(), 0444);
  EXPECT_EQ(run({"--in-place", "talk.wav"}).err, "vellora-cli: Could not write talk.wav: the file is read-only\n");
  EXPECT_EQ(run({"--in-place", "-o", "out", "talk.wav"}).status, 2);
}

// A change across two sectors, which a power cut could leave one written
// and one not, is made only in a copy.
TEST_F(CliTest, InPlaceRefusesAChangeAcrossTwoSectors) {
  const test::AiffBuilder aiff = test::AiffBuilder().ssnd(462).comm(2, 115, 16, 44100);
  ASSERT_EQ(aiff.rateOffset(), 506U);
  drive.write("rec/take.aiff", aiff.bytes());
  EXPECT_EQ(run({"--in-place", "take.aiff"}).err,
            "vellora-cli: Could not change take.aiff in place: its changes span bytes 506..515, more than one "
            "512-byte sector, which a power cut could leave half-written; convert it into a copy instead. Nothing "
            "was written.\n");
  EXPECT_EQ(drive.read("rec/take.aiff"), aiff.bytes());
  EXPECT_EQ(run({"-o", "out", "take.aiff"}).status, 0);
  std::string aiff90 = aiff.bytes();
  aiff90.replace(506, 10, test::extended80(39690));
  EXPECT_EQ(drive.read("rec/out/take-90.aiff"), aiff90);
}

// Streams take every format but FLAC, COMM after the sound data and chained Ogg files too.
TEST_F(CliTest, StreamsConvertOtherFormatsAsFilesAre) {
  const std::string aiff = test::AiffBuilder().chunk("NAME", "x").ssnd(300000).comm(1, 300000, 8, 22050).bytes();
  const std::string chained = test::oggVorbis(44100, 2, 9) + test::oggVorbis(48000, 2, 10, 40, 9000, 400);
  for (const auto& [name, bytes] : {std::pair{"take.aiff", aiff}, std::pair{"chained.ogg", chained}}) {
    drive.write(std::string("rec/") + name, bytes);
    ASSERT_EQ(run({"-o", "out", name}).status, 0) << name;
    const Outcome piped = runPiped({"-qc", "-"}, bytes);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(piped.out == drive.read(std::string("rec/out/") + speedName(name))) << name;
  }
  const Outcome flac = runPiped({"-c", "-"}, "fLaC" + test::pattern(70000));
  EXPECT_EQ(flac.status, 1);
  EXPECT_EQ(flac.out, "");
  EXPECT_EQ(flac.err, "vellora-cli: Could not change the speed of standard input: its first metadata block is "
                      "not a STREAMINFO block. Nothing was written.\n");
}

TEST_F(CliTest, PlaySaysWhenNoPlayerButVelloraIsRegistered) {
  VELLORA_SKIP_WITHOUT(RecordingPlayer);
  test::FakeOpener desktop(test::FakeOpener::Choice::VelloraAlone);
  const Outcome r = run({"--play", "-o", "out", "talk.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "out/talk-90.wav: 44100 Hz -> 39690 Hz, 16-bit\n");
  EXPECT_EQ(r.err,
            "vellora-cli: could not start a player for out/talk-90.wav (no application but Vellora "
            "opens its type)\n");
  EXPECT_EQ(drive.read("rec/out/talk-90.wav"), talk90);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(desktop.velloraArguments(), Names{});
}

}  // namespace
}  // namespace vellora
