#include "speed/speed_job.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/naming_cases.h"
#include "support/fakes.h"
#include "support/format_builders.h"
#include "support/host_files.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using test::withRates;

class SpeedJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("temp/vellora");
    drive.mkdir("tools");
    drive.write("temp/talk.wav", talk);
  }

  void run(const std::string& sfilein, const std::string& sdirout = "C:\\temp\\vellora\\") {
    job.checkfile(sfilein, sdirout);
    EXPECT_EQ(drive.read("temp/talk.wav"), talk) << "the input must never change";
  }

  // A failed job shows one message naming the file, changes no caption and plays nothing.
  void expectFailure(const std::string& named) {
    ASSERT_EQ(window.messages.size(), 1U);
    EXPECT_NE(window.messages[0].find(named), std::string::npos) << window.messages[0];
    EXPECT_EQ(window.caption, "Vellora");
    EXPECT_TRUE(system.shellCalls.empty());
  }

  test::TempDrive drive;  // first: the file system below reads its drive from the environment
  test::HostFiles files;
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow window;
  SpeedJob job{files, shell, window, window};
  const std::string talk = test::canonicalWav(44100, 2, 16, 1764000);
};

TEST_F(SpeedJobTest, ConvertsTheWorkedExample) {
  run("C:\\temp\\talk.wav");

  EXPECT_TRUE(window.messages.empty());
  EXPECT_TRUE(window.prompts.empty());
  EXPECT_EQ(job.lastPercent(), 90);
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\vellora\\talk-90.wav");
  EXPECT_EQ(window.info, "44100bps   16-bit");
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(drive.read("temp/vellora/info.xls"),
            "1764036 C:\\temp\\talk.wav --> C:\\temp\\vellora\\talk-90.wav\r\n"
            "bytespersa 4\r\n"
            "bitspersec 176400\r\n"
            "bitspersam 16\r\n"
            "nchannels  2\r\n"
            "samplerate 44100\r\n");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls", "talk-90.wav"}));
  ASSERT_EQ(system.shellCalls.size(), 1U);
  const auto& call = system.shellCalls[0];
  EXPECT_EQ(call.operation, "open");
  EXPECT_EQ(call.file, "C:\\temp\\vellora\\talk-90.wav");
  EXPECT_EQ(call.parameters, "");
  EXPECT_EQ(call.directory, "");
  EXPECT_EQ(call.show, SW_HIDE);
}

TEST_F(SpeedJobTest, ReplacesAnEarlierOutputAndPatchesPastLeadingChunks) {
  const std::string junkFirst = test::WavBuilder()
                                    .junk(28)
                                    .fmt(test::Format::pcm(11025, 2, 16))
                                    .data(64)
                                    .bytes();
  drive.write("temp/junk.wav", junkFirst);
  drive.write("temp/vellora/junk-90.wav", "an older conversion");
  run("C:\\temp\\junk.wav");
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(window.info, "11025bps   16-bit");
  // 9922.5 rounds to 9922; the byte rate follows it exactly, 9922 x 4.
  EXPECT_EQ(drive.read("temp/vellora/junk-90.wav"), withRates(junkFirst, 57, 9922, 39688));
  EXPECT_EQ(drive.read("temp/junk.wav"), junkFirst);
}

TEST_F(SpeedJobTest, ConvertsRf64LikeAnyOtherFile) {
  // RF64 keeps its real sizes in ds64 and puts 0xFFFFFFFF in the 32-bit fields.
  const std::string rf64 = test::WavBuilder("RF64")
                               .riffSize(0xFFFFFFFF)
                               .chunk("ds64", std::string(28, '\x5a'))
                               .fmt(test::Format::pcm(48000, 2, 24))
                               .chunkWithSize("data", 0xFFFFFFFF, std::string(600, '\x33'))
                               .bytes();
  drive.write("temp/long.wav", rf64);
  run("C:\\temp\\long.wav");
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(drive.read("temp/vellora/long-90.wav"), withRates(rf64, 57, 43200, 259200));
  EXPECT_EQ(drive.read("temp/long.wav"), rf64);
  EXPECT_EQ(drive.read("temp/vellora/info.xls").substr(0, 3), "-1 ");
}

// A path of another format, typed into the input box, converts through the
// same job; the log shows the six values read from that format's header.
TEST_F(SpeedJobTest, ConvertsOtherFormatsThroughTheSameJob) {
  const test::AiffBuilder aiff = test::AiffBuilder().comm(2, 441, 16, 44100).ssnd(1764);
  drive.write("temp/take.aiff", aiff.bytes());
  run("C:\\temp\\take.aiff");
  EXPECT_TRUE(window.messages.empty()) << window.messages[0];
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\vellora\\take-90.aiff");
  EXPECT_EQ(window.info, "44100bps   16-bit");
  std::string expected = aiff.bytes();
  expected.replace(aiff.rateOffset(), 10, test::extended80(39690));
  EXPECT_EQ(drive.read("temp/vellora/take-90.aiff"), expected);
  EXPECT_EQ(drive.read("temp/vellora/info.xls"),
            std::to_string(aiff.bytes().size() - 8) + " C:\\temp\\take.aiff --> C:\\temp\\vellora\\take-90.aiff\r\n"
            "bytespersa 4\r\nbitspersec 176400\r\nbitspersam 16\r\nnchannels  2\r\nsamplerate 44100\r\n");

  window = {};
  system.shellCalls.clear();
  drive.write("temp/song.mp3", std::string("\xff\xfb\x90\x64", 4) + std::string(400, 'm'));
  run("C:\\temp\\song.mp3");
  expectFailure("C:\\temp\\song.mp3 is not a format whose speed Vellora can change without re-encoding: it is MP3");
  EXPECT_FALSE(drive.exists("temp/vellora/song.mp3"));
}

TEST_F(SpeedJobTest, AsksForThePercentWhenTheListGivesNone) {
  window.percent = "?%";
  window.answers = {"75"};
  run("C:\\temp\\talk.wav");
  ASSERT_EQ(window.prompts.size(), 1U);
  EXPECT_EQ(window.prompts[0].text, "Percent speed?");
  EXPECT_EQ(window.prompts[0].defaultAnswer, "90");
  EXPECT_EQ(drive.read("temp/vellora/talk-75.wav"), withRates(talk, 21, 33075, 132300));

  // The last percent is the next default; cancel and a non-number give 80.
  window.percent = "";
  window.answers = {"lots"};
  run("C:\\temp\\talk.wav");
  EXPECT_EQ(window.prompts[1].defaultAnswer, "75");
  EXPECT_TRUE(drive.exists("temp/vellora/talk-80.wav"));
  run("C:\\temp\\talk.wav");
  EXPECT_EQ(window.prompts[2].defaultAnswer, "80");
  EXPECT_EQ(job.lastPercent(), 80);
}

TEST_F(SpeedJobTest, NamesTheRoundedPercentAndScalesByTheExactOne) {
  struct Case {
    const char* typed;
    const char* name;
    std::uint32_t sampleRate, byteRate;
  };
  const Case cases[] = {
      // The byte rate is the sample rate times the block align, exactly.
      {"90.5", "talk-90.wav", 39910, 159640},   // 39910.5 to even
      {"91.5%", "talk-92.wav", 40352, 161408},  // 40351.5 to even
      {" 1 1 0 %", "talk-110.wav", 48510, 194040},
      {"0.3", "talk-0.3.wav", 132, 528},  // no two speeds share a name
  };
  for (const Case& c : cases) {
    window.percent = c.typed;
    run("C:\\temp\\talk.wav");
    EXPECT_EQ(drive.read(std::string("temp/vellora/") + c.name), withRates(talk, 21, c.sampleRate, c.byteRate))
        << c.typed;
  }
  // A percent that rounded to 0 makes the next job start again from 90.
  window.percent = "?%";
  run("C:\\temp\\talk.wav");
  EXPECT_EQ(window.prompts.back().defaultAnswer, "90");
}

TEST_F(SpeedJobTest, RefusesRatesOutsideTheirRange) {
  struct Case {
    const char* typed;
    std::int32_t lastPercent;
  };
  const Case cases[] = {
      {"-50", -50},
      {"0.0001", 0},
      {"1e300", 90},  // too large for the name: it keeps the percent it had
      {"5000000", 5000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    window = {};
    window.percent = c.typed;
    run("C:\\temp\\talk.wav");
    expectFailure("C:\\temp\\talk.wav");
    EXPECT_EQ(window.info, "44100bps   16-bit");
    EXPECT_EQ(job.lastPercent(), c.lastPercent);
  }
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

TEST_F(SpeedJobTest, AsksForAnInputName) {
  window.percent = "?%";
  window.answers = {"120"};
  run("");
  EXPECT_EQ(window.messages, (std::vector<std::string>{"designate an input filename"}));
  EXPECT_EQ(job.lastPercent(), 120);
  EXPECT_FALSE(drive.exists("temp/vellora/info.xls"));
}

TEST_F(SpeedJobTest, MissingInputIsReportedAndLoggedAsZeros) {
  run("C:\\temp\\missing.wav");
  expectFailure("Could not read C:\\temp\\missing.wav: " + test::noSuchFileReason());
  EXPECT_FALSE(drive.exists("temp/missing.wav"));
  EXPECT_EQ(window.info, "0bps   0-bit");
  EXPECT_EQ(drive.read("temp/vellora/info.xls"),
            "0 C:\\temp\\missing.wav --> C:\\temp\\vellora\\missing-90.wav\r\n"
            "bytespersa 0\r\nbitspersec 0\r\nbitspersam 0\r\nnchannels  0\r\nsamplerate 0\r\n");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

TEST_F(SpeedJobTest, MissingOutputDirectoryStillLogsTheHeader) {
  run("C:\\temp\\talk.wav", "C:\\nowhere");
  expectFailure("Could not write C:\\nowhere\\talk-90.wav: its directory does not exist");
  EXPECT_EQ(window.info, "44100bps   16-bit");
  EXPECT_FALSE(drive.exists("nowhere"));
}

TEST_F(SpeedJobTest, ReadOnlyOutputStaysAsItWas) {
  drive.write("temp/vellora/talk-90.wav", "keep me");
  drive.makeReadOnly("temp/vellora/talk-90.wav");
  run("C:\\temp\\talk.wav");
  expectFailure("C:\\temp\\vellora\\talk-90.wav: the file is read-only");
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), "keep me");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls", "talk-90.wav"}));
}

TEST_F(SpeedJobTest, FileOfNoKnownFormatGetsNoCopy) {
  drive.write("temp/notes.wav", "not a recording, only some text");
  run("C:\\temp\\notes.wav");
  expectFailure("C:\\temp\\notes.wav is not a recording Vellora knows: it is none of WAV, ");
  EXPECT_EQ(window.info, "0bps   0-bit");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

// Every name carries the speed, so a copy never takes its input's name.
TEST_F(SpeedJobTest, ConvertsBesideItsInputUnderANewName) {
  drive.write("temp/vellora/TALK.WAV", talk);
  job.checkfile("C:\\temp\\vellora\\TALK.WAV", "C:\\temp\\vellora\\");
  EXPECT_EQ(drive.read("temp/vellora/TALK.WAV"), talk);
  EXPECT_EQ(drive.read("temp/vellora/TALK-90.WAV"), withRates(talk, 21, 39690, 158760));
}

TEST_F(SpeedJobTest, NeverWritesOverItsInputThroughALink) {
  VELLORA_SKIP_WITHOUT(SymbolicLinks);
  drive.link("temp/vellora/talk-90.wav", "temp/talk.wav");
  run("C:\\temp\\talk.wav");
  expectFailure("is the input file itself");
}

// The header log has a fixed path; a job whose input or output is that very
// file converts, but skips the log rather than write over its own files.
TEST_F(SpeedJobTest, HeaderLogNeverReplacesTheInput) {
  drive.write("temp/vellora/info.xls", talk);
  drive.mkdir("temp/out");
  job.checkfile("C:\\temp\\vellora\\info.xls", "C:\\temp\\out\\");
  EXPECT_EQ(drive.read("temp/vellora/info.xls"), talk);
  EXPECT_EQ(drive.read("temp/out/info-90.xls"), withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(window.messages,
            (std::vector<std::string>{"The header log C:\\temp\\vellora\\info.xls was not "
                                      "written: it is the input file itself, which it would have "
                                      "replaced."}));
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\out\\info-90.xls");
  EXPECT_EQ(system.shellCalls.size(), 1U);

  // Not a recording: the failure is reported, and the input still stays whole.
  window = {};
  drive.write("temp/vellora/info.xls", "six lines of an older log");
  job.checkfile("C:\\temp\\vellora\\info.xls", "C:\\temp\\out\\");
  EXPECT_EQ(drive.read("temp/vellora/info.xls"), "six lines of an older log");
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_NE(window.messages[0].find("C:\\temp\\vellora\\info.xls is not a recording Vellora knows"),
            std::string::npos);
  EXPECT_NE(window.messages[0].find("it is the input file itself"), std::string::npos);
}

// A copy's name carries its speed, so it never takes the log's name.
TEST_F(SpeedJobTest, HeaderLogStandsBesideACopyOfALogNamedFile) {
  drive.write("temp/info.xls", talk);
  run("C:\\temp\\info.xls");
  EXPECT_EQ(drive.read("temp/vellora/info-90.xls"), withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(drive.read("temp/info.xls"), talk);
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\vellora\\info-90.xls");
}

// A link standing where the log goes is written through, though it leads to
// the output directory of the job.
TEST_F(SpeedJobTest, HeaderLogIsWrittenThroughALink) {
  VELLORA_SKIP_WITHOUT(SymbolicLinks);
  drive.mkdir("temp/other");
  drive.link("temp/vellora/info.xls", "temp/other/info.xls");
  drive.write("temp/other/info.xls", "old log");
  drive.write("temp/other/talk.wav", talk);
  job.checkfile("C:\\temp\\other\\talk.wav", "C:\\temp\\other\\");
  EXPECT_EQ(drive.read("temp/other/talk-90.wav"), withRates(talk, 21, 39690, 158760));
}

TEST_F(SpeedJobTest, FormatChunkOfTwelveToFifteenBytesConverts) {
  const test::Format f = test::Format::pcm(44100, 2, 16);
  for (std::uint32_t size : {12U, 14U, 15U}) {
    SCOPED_TRACE(size);
    window = {};
    const std::string file =
        test::WavBuilder().chunk("fmt ", f.body().substr(0, size)).data(100).bytes();
    drive.write("temp/short.wav", file);
    job.checkfile("C:\\temp\\short.wav", "C:\\temp\\vellora\\");
    EXPECT_TRUE(window.messages.empty());
    // Only the rates change; the bytes after the chunk's body are the next chunk's.
    EXPECT_EQ(drive.read("temp/vellora/short-90.wav"), withRates(file, 21, 39690, 158760));
  }
  window = {};
  drive.write("temp/tiny.wav",
              test::WavBuilder().chunk("fmt ", f.body().substr(0, 11)).data(100).bytes());
  job.checkfile("C:\\temp\\tiny.wav", "C:\\temp\\vellora\\");
  EXPECT_EQ(window.messages,
            (std::vector<std::string>{"Could not change the speed of C:\\temp\\tiny.wav: its "
                                      "format chunk is too short. Nothing was written."}));
  EXPECT_FALSE(drive.exists("temp/vellora/tiny-90.wav"));
}

TEST_F(SpeedJobTest, ConvertsBigEndianRifxFiles) {
  const test::Format f = test::Format::pcm(44100, 2, 16);
  const std::string file = test::WavBuilder("RIFX").chunk("LIST", "INFOa").fmt(f, 18).data(1001).bytes();
  drive.write("temp/be.wav", file);
  run("C:\\temp\\be.wav");
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(window.info, "44100bps   16-bit");
  const std::string expected = withRates(file, 35, 39690, 158760);
  EXPECT_EQ(expected.substr(38, 8), std::string("\0\0\x9b\x0a\0\x02\x6c\x28", 8));
  EXPECT_EQ(drive.read("temp/vellora/be-90.wav"), expected);
  const std::string log = drive.read("temp/vellora/info.xls");
  EXPECT_TRUE(log.starts_with(std::to_string(file.size() - 8) + " ")) << log;
  EXPECT_NE(log.find("bitspersec 176400\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("samplerate 44100\r\n"), std::string::npos) << log;
}

TEST_F(SpeedJobTest, ConvertsHostNamesWithReservedCharacters) {
  VELLORA_SKIP_WITHOUT(ReservedCharactersInNames);
  drive.write("temp/rec 12:30.wav", talk);
  run("C:\\temp\\rec 12\uFF1A30.wav");
  EXPECT_TRUE(window.messages.empty()) << window.messages[0];
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\vellora\\rec 12\uFF1A30-90.wav");
  EXPECT_EQ(drive.read("temp/vellora/rec 12:30-90.wav"), withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(drive.read("temp/rec 12:30.wav"), talk);
}

TEST_F(SpeedJobTest, HugeTypedPercentIsCalledTooLarge) {
  window.percent = "?%";
  window.answers = {"1e400"};
  run("C:\\temp\\talk.wav");
  expectFailure("Could not change the speed of C:\\temp\\talk.wav: the percentage is too large. "
                "Nothing was written.");
}

TEST_F(SpeedJobTest, InvalidOutputNameIsReported) {
  drive.write("talk.wav", talk);
  job.checkfile("c:talk.wav", "C:\\temp\\vellora\\");
  expectFailure("Could not write C:\\temp\\vellora\\c:talk-90.wav: the path is not valid");
  EXPECT_EQ(window.info, "44100bps   16-bit");
}

TEST_F(SpeedJobTest, BareInputNameIsTakenFromTheProgramDirectory) {
  drive.write("tools/talk.wav", talk);
  run("talk.wav");
  EXPECT_TRUE(window.messages.empty());
  const std::string line1 = "1764036 C:\\tools\\talk.wav --> C:\\temp\\vellora\\talk-90.wav\r\n";
  EXPECT_EQ(drive.read("temp/vellora/info.xls").substr(0, line1.size()), line1);
}

TEST_F(SpeedJobTest, RelativeOutputDirectoryPlaysTheFileItWrote) {
  drive.mkdir("work/out");
  drive.enter("work");
  run("C:\\temp\\talk.wav", "out");
  drive.back();

  EXPECT_EQ(window.caption, "Vellora --> out\\talk-90.wav");
  EXPECT_EQ(drive.read("work/out/talk-90.wav"), withRates(talk, 21, 39690, 158760));
  ASSERT_EQ(system.shellCalls.size(), 1U);
  EXPECT_EQ(system.shellCalls[0].file, "C:\\work\\out\\talk-90.wav");
}

TEST_F(SpeedJobTest, EmptyOutputDirectoryMeansTheDefault) {
  run("C:\\temp\\talk.wav", "");
  EXPECT_EQ(window.caption, "Vellora --> C:\\temp\\vellora\\talk-90.wav");
  EXPECT_TRUE(drive.exists("temp/vellora/talk-90.wav"));
}

// A window whose Cancel is pressed at the `cancelAt`th report of the copy.
struct CancellingWindow : test::ScriptedWindow {
  int cancelAt = 1;
  int reports = 0;
  std::string file;
  std::uint64_t total = 0;
  bool ended = false;
  bool copyProgress(const std::string& f, std::uint64_t, std::uint64_t t) override {
    file = f;
    total = t;
    return ++reports < cancelAt;
  }
  void copyEnded() override { ended = true; }
};

// A cancelled copy ends quietly: no message, no log, nothing played, and
// the earlier output and the input as they were.
TEST_F(SpeedJobTest, CancelledCopyEndsWithoutAWordAndLeavesNothing) {
  drive.write("temp/vellora/talk-90.wav", "earlier output");
  for (auto temporaries : test::HostFiles::everyKind()) {
    for (int cancelAt : {1, 2}) {
      SCOPED_TRACE("cancelled at report " + std::to_string(cancelAt));
      test::HostFiles host(temporaries);
      CancellingWindow cancelling;
      cancelling.cancelAt = cancelAt;
      SpeedJob cancelled(host, shell, cancelling, cancelling);
      cancelled.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");

      EXPECT_EQ(cancelling.reports, cancelAt);
      EXPECT_EQ(cancelling.file, "C:\\temp\\talk.wav");
      EXPECT_EQ(cancelling.total, talk.size());
      EXPECT_TRUE(cancelling.ended);
      EXPECT_EQ(cancelled.error().failure, JobFailure::Cancelled);
      EXPECT_EQ(message(cancelled.error()), "");
      EXPECT_TRUE(cancelling.messages.empty());
      EXPECT_EQ(cancelling.caption, "Vellora");
      EXPECT_EQ(cancelling.info, "");
      EXPECT_TRUE(system.shellCalls.empty());
      EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"talk-90.wav"}));
      EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), "earlier output");
      EXPECT_EQ(drive.read("temp/talk.wav"), talk);
    }
  }
}

// A long scan (a million chunks before the format chunk here; every frame of
// a FLAC file) tells the window as the copy does, and Cancel stops it the same.
TEST_F(SpeedJobTest, LongScanTellsItsProgressAndCancelsLikeACopy) {
  std::string chunks;
  for (int i = 0; i < (1 << 20); ++i) chunks += std::string("JUNK\0\0\0\0", 8);
  drive.write("temp/long.wav", test::WavBuilder().raw(chunks).fmt(test::Format::pcm(8000, 1, 8)).data(10).bytes());
  CancellingWindow cancelling;
  SpeedJob cancelled(files, shell, cancelling, cancelling);
  cancelled.checkfile("C:\\temp\\long.wav", "C:\\temp\\vellora\\");
  EXPECT_EQ(cancelling.reports, 1);
  EXPECT_EQ(cancelling.file, "C:\\temp\\long.wav");
  EXPECT_TRUE(cancelling.ended);
  EXPECT_EQ(cancelled.error().failure, JobFailure::Cancelled);
  EXPECT_TRUE(cancelling.messages.empty());
  EXPECT_EQ(cancelling.info, "");
  EXPECT_TRUE(drive.list("temp/vellora").empty());

  CancellingWindow following;
  following.cancelAt = 1000;
  SpeedJob followed(files, shell, following, following);
  followed.checkfile("C:\\temp\\long.wav", "C:\\temp\\vellora\\");
  EXPECT_TRUE(following.messages.empty());
  EXPECT_GE(following.reports, 3);
  EXPECT_TRUE(drive.exists("temp/vellora/long-90.wav"));
}

// A window that lets the copy run learns of each step and of its end.
TEST_F(SpeedJobTest, WindowFollowsTheCopyToItsEnd) {
  CancellingWindow following;
  following.cancelAt = 1000;
  SpeedJob job2(files, shell, following, following);
  job2.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");
  EXPECT_TRUE(job2.error().failure == JobFailure::None) << message(job2.error());
  EXPECT_GE(following.reports, 2);
  EXPECT_TRUE(following.ended);
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(system.shellCalls.size(), 1U);
}

TEST(OutputPath, FollowsTheNamingRules) {
  for (const test::NamingCase& c : test::kNamingCases) {
    const std::string speed = c.speed;
    const std::string tag = speed.starts_with("-r") ? rateTag(static_cast<std::uint32_t>(std::stoul(speed.substr(2))))
                                                    : speedTag(*readPercent(speed, true), 90);
    EXPECT_EQ(outputPathFor(std::string("C:\\rec\\") + c.input, "C:\\o\\", tag), std::string("C:\\o\\") + c.output)
        << c.input << " at " << c.speed;
  }
  struct Case {
    const char *input, *sdirout, *output;
  };
  const Case cases[] = {
      {"C:\\temp\\talk.wav", "C:\\temp\\vellora", "C:\\temp\\vellora\\talk-90.wav"},
      {"C:\\temp\\talk.wav", "", "C:\\temp\\vellora\\talk-90.wav"},
      {"C:\\temp\\talk.wav", "out", "out\\talk-90.wav"},
      // A directory is where the user put it, ".wav" in its name or not.
      {"C:\\temp\\talk.wav", "C:\\x.wav", "C:\\x.wav\\talk-90.wav"},
      {"c:talk.wav", "C:\\temp\\vellora\\", "C:\\temp\\vellora\\c:talk-90.wav"},
      {"C:\\music.wav.d\\readme.txt", "C:\\o\\", "C:\\o\\readme-90.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(outputPathFor(c.input, c.sdirout, "90"), c.output) << c.input;
  // Beyond the 32-bit range the name keeps the previous speed.
  EXPECT_EQ(speedTag(1e12, 85), "85");
  EXPECT_EQ(speedTag(-50, 90), "-50");
}

TEST(Val, ReadsTheLeadingNumber) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {{"90%", 90},     {"?%", 0},       {"", 0},         {"  75 ", 75},
                        {"9 0%", 90},    {"-50", -50},    {"+5", 5},       {"90.5", 90.5},
                        {".5", 0.5},     {"1e2%", 100},   {"1e", 1},       {"2d1", 20},
                        {"1.2.3", 1.2},  {"-", 0},        {"abc", 0},      {"12abc", 12}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isinf(Val("1e999")));
}

TEST(RoundToInt32, HalvesGoToEven) {
  EXPECT_EQ(roundToInt32(90.5), 90);
  EXPECT_EQ(roundToInt32(91.5), 92);
  EXPECT_EQ(roundToInt32(-0.5), 0);
  EXPECT_EQ(roundToInt32(2147483647.4), 2147483647);
  EXPECT_FALSE(roundToInt32(2147483648.0));
  EXPECT_FALSE(roundToInt32(1e300));
}

}  // namespace
}  // namespace vellora
