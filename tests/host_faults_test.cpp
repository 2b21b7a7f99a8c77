// Conversions on Linux when the system fails late or ambiguously, caused on
// purpose through the file system's calls: a network file system that
// reports a lost write only on close or flush, a kernel copy that does not
// say which file failed it, a rename that cannot refuse to replace. Each
// must end with the message that tells what happened, and no named file
// that is not complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/host_file_system.h"
#include "speed/conversion.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using Names = std::vector<std::string>;
using Temporaries = HostFileSystem::Temporaries;
using Existing = ReplacementFile::Existing;

constexpr std::uint64_t kMiB = 1 << 20;

int failWithIo() {
  errno = EIO;
  return -1;
}

bool isDirectory(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

class HostFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("temp/vellora");
    drive.write("temp/talk.wav", talk);
  }

  Conversion convertWith(const HostCalls& calls, Temporaries temporaries, Existing existing,
                         bool durable = false) {
    HostFileSystem files(DriveMap::fromEnvironment(), temporaries, calls);
    return convert(files, {.input = "C:\\temp\\talk.wav",
                           .output = "C:\\temp\\vellora\\talk-90.wav",
                           .factor = 0.9,
                           .existing = existing,
                           .progress = {},
                           .durable = durable});
  }

  test::TempDrive drive;
  const std::string talk = test::canonicalWav(44100, 2, 16, 3 << 20);
  const std::string talk90 = test::withRates(talk, 21, 39690, 158760);
};

// NFS, CIFS and FUSE report a write they lost at close(), or at the flush
// of --sync: the copy never takes its name, and a file it was to replace
// stays as it was.
TEST_F(HostFaultsTest, LateWriteErrorsLeaveNothingNamed) {
  HostCalls closeFails, flushFails;
  closeFails.close = [](int fd) {
    ::close(fd);
    return failWithIo();
  };
  flushFails.fsync = [](int fd) { return isDirectory(fd) ? ::fsync(fd) : failWithIo(); };
  for (const HostCalls* calls : {&closeFails, &flushFails}) {
    for (Temporaries temporaries : {Temporaries::Unnamed, Temporaries::Named}) {
      for (bool replacing : {false, true}) {
        SCOPED_TRACE(std::string(calls == &closeFails ? "close" : "flush") +
                     (temporaries == Temporaries::Named ? ", named" : ", unnamed") +
                     (replacing ? ", replacing" : ", new"));
        if (replacing) drive.write("temp/vellora/talk-90.wav", "old");
        const Conversion done = convertWith(*calls, temporaries, replacing ? Existing::Replace : Existing::Keep,
                                            calls == &flushFails);
        EXPECT_EQ(message(done.error), "Could not write C:\\temp\\vellora\\talk-90.wav: Input/output error");
        EXPECT_EQ(drive.list("temp/vellora"), replacing ? Names{"talk-90.wav"} : Names{});
        if (replacing) {
          EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), "old");
        }
        drive.remove("temp/vellora/talk-90.wav");
      }
    }
  }
}

// Once renamed, the copy is in place: a directory that cannot be flushed
// after makes it one that a power cut may still take, not a failed write.
TEST_F(HostFaultsTest, DirectoryFlushFailureSaysTheCopyIsInPlace) {
  HostCalls calls;
  calls.fsync = [](int fd) { return isDirectory(fd) ? failWithIo() : ::fsync(fd); };
  const Conversion done = convertWith(calls, Temporaries::Unnamed, Existing::Keep, true);
  EXPECT_EQ(message(done.error),
            "Wrote C:\\temp\\vellora\\talk-90.wav, but could not flush its directory to disk (Input/output "
            "error): the copy is in place but may not survive a power cut.");
  EXPECT_EQ(drive.list("temp/vellora"), Names{"talk-90.wav"});
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);
}

// A copy that replaces a file is on disk before it takes that file's name,
// with --sync or without: XFS, unlike ext4, does not flush a file renamed
// over another, so a power cut could leave the name on an empty file. A new
// file is flushed only with --sync.
TEST_F(HostFaultsTest, AReplacementIsOnDiskBeforeItTakesTheName) {
  Names heldAtFlush;  // what the output's name held as each file was flushed
  HostCalls calls;
  calls.fsync = [&](int fd) {
    if (!isDirectory(fd))
      heldAtFlush.push_back(drive.exists("temp/vellora/talk-90.wav") ? drive.read("temp/vellora/talk-90.wav") : "");
    return ::fsync(fd);
  };
  for (Temporaries temporaries : {Temporaries::Unnamed, Temporaries::Named}) {
    for (bool replacing : {false, true}) {
      SCOPED_TRACE(replacing ? "replacing" : "new");
      heldAtFlush.clear();
      if (replacing) drive.write("temp/vellora/talk-90.wav", "old");
      const Conversion done = convertWith(calls, temporaries, replacing ? Existing::Replace : Existing::Keep);
      EXPECT_TRUE(done.ok()) << message(done.error);
      EXPECT_EQ(heldAtFlush, replacing ? Names{"old"} : Names{});
      EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);
      drive.remove("temp/vellora/talk-90.wav");
    }
  }
}

// copy_file_range fails past 1 MiB without saying on which side; reads and
// writes take over from there and tell. A failure that does not come back
// leaves a whole, correct copy.
TEST_F(HostFaultsTest, KernelCopyErrorsNameTheSideThatFailed) {
  HostCalls calls;
  calls.copyFileRange = [](int in, loff_t* inOffset, int out, loff_t* outOffset, std::size_t count,
                           unsigned flags) -> ssize_t {
    if (static_cast<std::uint64_t>(*inOffset) >= kMiB) return failWithIo();
    count = std::min<std::size_t>(count, kMiB - static_cast<std::size_t>(*inOffset));
    return ::copy_file_range(in, inOffset, out, outOffset, count, flags);
  };
  for (bool inputFails : {true, false}) {
    SCOPED_TRACE(inputFails ? "the input cannot be read" : "the failure passed");
    if (inputFails)
      calls.pread = [](int fd, void* into, std::size_t count, off_t offset) -> ssize_t {
        if (static_cast<std::uint64_t>(offset) >= kMiB) return failWithIo();
        return ::pread(fd, into, count, offset);
      };
    else
      calls.pread = ::pread;
    const Conversion done = convertWith(calls, Temporaries::Unnamed, Existing::Keep);
    if (done.copyMethod == "cloned") GTEST_SKIP() << "this file system clones files whole";
    if (inputFails) {
      EXPECT_EQ(message(done.error), "Could not read C:\\temp\\talk.wav: Input/output error");
      EXPECT_EQ(drive.list("temp/vellora"), Names{});
    } else {
      EXPECT_TRUE(done.ok()) << message(done.error);
      EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);
    }
  }
  EXPECT_EQ(drive.read("temp/talk.wav"), talk);
}

// NFS has no RENAME_NOREPLACE; without --force, a file that is there must
// still be kept, and a new one still made.
TEST_F(HostFaultsTest, KeepsExistingFilesWhereRenameCannotRefuse) {
  HostCalls calls;
  calls.renameat2 = [](int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags) {
    if (flags & RENAME_NOREPLACE) {
      errno = EINVAL;
      return -1;
    }
    return ::renameat2(fromDirectory, from, toDirectory, to, flags);
  };
  const Conversion made = convertWith(calls, Temporaries::Named, Existing::Keep);
  EXPECT_TRUE(made.ok()) << message(made.error);
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), talk90);

  drive.write("temp/vellora/talk-90.wav", "old");
  const Conversion kept = convertWith(calls, Temporaries::Named, Existing::Keep);
  EXPECT_EQ(message(kept.error), "Could not write C:\\temp\\vellora\\talk-90.wav: the file exists already");
  EXPECT_EQ(drive.list("temp/vellora"), Names{"talk-90.wav"});
  EXPECT_EQ(drive.read("temp/vellora/talk-90.wav"), "old");
}

}  // namespace
}  // namespace vellora
