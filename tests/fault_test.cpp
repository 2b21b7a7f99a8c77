// The speed-change job when the disk and the files misbehave: each case must
// end in a message that names the file, with the input unchanged and nothing
// left behind.
#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "speed/speed_job.h"
#include "support/fakes.h"
#include "support/flac_builder.h"
#include "support/host_files.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

// The host file system, with a hook that runs just after the input opens.
struct HookedFiles : test::HostFiles {
  std::function<void()> afterOpen;
  Opened<InputFile> openInput(const std::string& path) override {
    Opened<InputFile> opened = HostFiles::openInput(path);
    if (afterOpen) afterOpen();
    return opened;
  }
};

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("temp/vellora");
    drive.write("temp/talk.wav", talk);
  }

  // Runs the job and expects exactly one message holding every piece.
  void expectRefused(const std::string& input, const std::string& sdirout,
                     std::initializer_list<const char*> pieces) {
    job.checkfile(input, sdirout);
    ASSERT_EQ(window.messages.size(), 1U);
    for (const char* piece : pieces)
      EXPECT_NE(window.messages[0].find(piece), std::string::npos) << window.messages[0];
    EXPECT_EQ(window.caption, "Vellora");
    EXPECT_TRUE(system.shellCalls.empty());
    EXPECT_EQ(drive.read("temp/talk.wav"), talk);
  }

  test::TempDrive drive;
  HookedFiles files;
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow window;
  SpeedJob job{files, shell, window, window};
  const std::string talk = test::canonicalWav(44100, 2, 16, 3 << 20);
};

// A copy made by the kernel, and a FLAC file's, written as its scan goes on.
TEST_F(FaultTest, DiskFullDuringTheCopy) {
  if (const std::string why = drive.mountSmallDisk("small", "size=1m"); !why.empty()) GTEST_SKIP() << why;
  expectRefused("C:\\temp\\talk.wav", "C:\\small\\",
                {"Could not write C:\\small\\talk-90.wav", "No space left on device"});
  const std::string flac = test::FlacBuilder().frames(140000, 256).bytes();
  ASSERT_GT(flac.size(), std::size_t{2} << 20);
  drive.write("temp/take.flac", flac);
  window.messages.clear();
  expectRefused("C:\\temp\\take.flac", "C:\\small\\",
                {"Could not write C:\\small\\take-90.flac", "No space left on device"});
  EXPECT_EQ(drive.read("temp/take.flac"), flac);
  EXPECT_EQ(drive.list("small"), std::vector<std::string>{});
}

TEST_F(FaultTest, ReadOnlyFileSystem) {
  if (const std::string why = drive.mountSmallDisk("cdrom", "size=1m,ro"); !why.empty()) GTEST_SKIP() << why;
  expectRefused("C:\\temp\\talk.wav", "C:\\cdrom\\", {"C:\\cdrom\\talk-90.wav", "Read-only file system"});
}

TEST_F(FaultTest, ReadOnlyOutputDirectory) {
  VELLORA_SKIP_WITHOUT(ReadOnlyDirectories);
  drive.mkdir("locked");
  drive.makeReadOnly("locked");
  expectRefused("C:\\temp\\talk.wav", "C:\\locked", {"C:\\locked\\talk-90.wav", "read-only"});
  EXPECT_EQ(drive.list("locked"), std::vector<std::string>{});
}

TEST_F(FaultTest, OutputDirectoryRemovedBetweenRuns) {
  drive.mkdir("out");
  job.checkfile("C:\\temp\\talk.wav", "C:\\out");
  ASSERT_TRUE(window.messages.empty());
  drive.remove("out");
  window = {};
  system.shellCalls.clear();
  expectRefused("C:\\temp\\talk.wav", "C:\\out", {"C:\\out\\talk-90.wav", "its directory does not exist"});
  EXPECT_FALSE(drive.exists("out"));
}

// An input that fails to read partway: the message names the input, not the output.
struct FailingInput : InputFile {
  explicit FailingInput(std::unique_ptr<InputFile> real) : real_(std::move(real)) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    if (offset >= 1 << 20) return {0, IoStatus::failure("Input/output error")};
    return real_->readAt(offset, into);
  }
  std::uint64_t size() const override { return real_->size(); }
  std::unique_ptr<InputFile> real_;
};

struct FailingReads : test::HostFiles {
  int replacements = 0;
  Opened<InputFile> openInput(const std::string& path) override {
    Opened<InputFile> opened = HostFiles::openInput(path);
    if (opened.file) opened.file = std::make_unique<FailingInput>(std::move(opened.file));
    return opened;
  }
  Opened<ReplacementFile> createReplacement(const std::string& path) override {
    ++replacements;
    return HostFiles::createReplacement(path);
  }
};

TEST_F(FaultTest, ReadErrorDuringTheCopyNamesTheInput) {
  FailingReads failing;
  SpeedJob reading{failing, shell, window, window};
  reading.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_EQ(window.messages[0], "Could not read C:\\temp\\talk.wav: Input/output error");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
  EXPECT_EQ(drive.read("temp/talk.wav"), talk);
}

// The header decides first: a file with nothing to patch is never copied.
TEST_F(FaultTest, RefusedHeaderCostsNoCopy) {
  FailingReads counting;
  SpeedJob job2{counting, shell, window, window};
  drive.write("temp/big.bin", std::string(3 << 20, 'x'));
  job2.checkfile("C:\\temp\\big.bin", "C:\\temp\\vellora\\");
  EXPECT_EQ(counting.replacements, 1) << "only the header log was written";
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_NE(window.messages[0].find("C:\\temp\\big.bin is not a recording Vellora knows"), std::string::npos);
  window = {};
  window.percent = "1e-9";
  job2.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");
  EXPECT_EQ(counting.replacements, 2) << "only the header log was written";
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

// A replacement that notes whether it was asked to reach the disk.
struct NotedReplacement : ReplacementFile {
  NotedReplacement(std::unique_ptr<ReplacementFile> real, bool& durable)
      : real_(std::move(real)), durable_(durable) {}
  IoStatus copyFrom(InputFile& source, const CopyProgress& progress) override {
    return real_->copyFrom(source, progress);
  }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    return real_->writeAt(offset, bytes);
  }
  IoStatus commit(Existing existing) override { return real_->commit(existing); }
  void makeDurable() override {
    durable_ = true;
    real_->makeDurable();
  }
  std::unique_ptr<ReplacementFile> real_;
  bool& durable_;
};

struct NotingFiles : test::HostFiles {
  bool durable = false;
  Opened<ReplacementFile> createReplacement(const std::string& path) override {
    Opened<ReplacementFile> opened = HostFiles::createReplacement(path);
    if (opened.file) opened.file = std::make_unique<NotedReplacement>(std::move(opened.file), durable);
    return opened;
  }
};

TEST_F(FaultTest, DurableConversionsAskTheDiskAndStillWriteTheSameBytes) {
  for (bool durable : {false, true}) {
    NotingFiles noting;
    const Conversion done = convert(noting, {.input = "C:\\temp\\talk.wav",
                                             .output = "C:\\temp\\vellora\\talk-90.wav",
                                             .factor = 0.9,
                                             .existing = {},
                                             .progress = {},
                                             .durable = durable});
    ASSERT_TRUE(done.ok()) << message(done.error);
    EXPECT_EQ(noting.durable, durable);
    EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
  }
}

TEST_F(FaultTest, InputThatShrinksWhileItIsCopied) {
  files.afterOpen = [this] { drive.resize("temp/talk.wav", 100000); };
  job.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_NE(window.messages[0].find("C:\\temp\\vellora\\talk-90.wav: the input got shorter"),
            std::string::npos)
      << window.messages[0];
  EXPECT_TRUE(system.shellCalls.empty());
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

TEST_F(FaultTest, InputThatGrowsWhileItIsCopied) {
  files.afterOpen = [this] { drive.append("temp/talk.wav", "more samples"); };
  job.checkfile("C:\\temp\\talk.wav", "C:\\temp\\vellora\\");
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_NE(window.messages[0].find("changed length while it was being copied"), std::string::npos);
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

TEST_F(FaultTest, InputThatIsADirectory) {
  drive.mkdir("temp/folder.wav");
  expectRefused("C:\\temp\\folder.wav", "C:\\temp\\vellora\\",
                {"Could not read C:\\temp\\folder.wav: it is a directory"});
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

TEST_F(FaultTest, InputThatIsAFifo) {
  VELLORA_SKIP_WITHOUT(Fifos);
  drive.makeFifo("temp/pipe.wav");
  // A FIFO with no writer would block a plain open; the job must return.
  auto done = std::async(std::launch::async, [this] {
    test::ScriptedWindow w;
    SpeedJob j(files, shell, w, w);
    j.checkfile("C:\\temp\\pipe.wav", "C:\\temp\\vellora\\");
    return w.messages;
  });
  if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // A writer that comes and goes lets the waiting open return.
    drive.append("temp/pipe.wav", "");
    FAIL() << "the job waited for the FIFO";
  }
  const std::vector<std::string> messages = done.get();
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages[0], "Could not read C:\\temp\\pipe.wav: it is not a regular file");
  EXPECT_EQ(drive.list("temp/vellora"), (std::vector<std::string>{"info.xls"}));
}

}  // namespace
}  // namespace vellora
