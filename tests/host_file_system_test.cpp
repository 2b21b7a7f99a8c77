#include "platform/linux/host_file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "support/temp_drive.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

std::span<const std::byte> bytes(std::string_view text) { return std::as_bytes(std::span(text)); }

class HostFileSystemTest : public ::testing::Test {
 protected:
  test::TempDrive drive;
  HostFileSystem files{DriveMap::fromEnvironment()};
};

TEST_F(HostFileSystemTest, ReplacementAppearsOnlyOnCommit) {
  drive.write("out.wav", "old");
  {
    Opened<ReplacementFile> out = files.createReplacement("C:\\out.wav");
    ASSERT_TRUE(out.status) << out.status.reason();
    ASSERT_TRUE(out.file->writeAt(0, bytes("new content")));
    EXPECT_EQ(drive.read("out.wav"), "old");
    EXPECT_EQ(drive.list("").size(), 1U) << "the new content waits in an unnamed file";
  }
  EXPECT_EQ(drive.read("out.wav"), "old");
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"out.wav"})) << "nothing is left behind";

  Opened<ReplacementFile> out = files.createReplacement("C:\\out.wav");
  ASSERT_TRUE(out.file->writeAt(3, bytes("xy")));
  ASSERT_TRUE(out.file->commit());
  EXPECT_EQ(drive.read("out.wav"), std::string("\0\0\0xy", 5));
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"out.wav"}));
}

TEST_F(HostFileSystemTest, CommitCanRefuseToReplace) {
  Opened<ReplacementFile> out = files.createReplacement("C:\\new.wav");
  ASSERT_TRUE(out.status);
  drive.write("new.wav", "arrived meanwhile");
  const IoStatus s = out.file->commit(ReplacementFile::Existing::Keep);
  EXPECT_EQ(s.reason(), "the file exists already");
  EXPECT_EQ(drive.read("new.wav"), "arrived meanwhile");
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"new.wav"}));
}

TEST_F(HostFileSystemTest, ReplacedFileKeepsItsPermissions) {
  drive.write("out.wav", "old");
  ::chmod(drive.host("out.wav").c_str(), 0640);
  Opened<ReplacementFile> out = files.createReplacement("C:\\out.wav");
  ASSERT_TRUE(out.file->writeAt(0, bytes("new")));
  ASSERT_TRUE(out.file->commit());
  struct stat st {};
  ASSERT_EQ(::stat(drive.host("out.wav").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640U);
}

TEST_F(HostFileSystemTest, RefusesTargetsItMustNotWrite) {
  drive.write("locked.wav", "x");
  ::chmod(drive.host("locked.wav").c_str(), 0444);
  drive.mkdir("dir.wav");
  drive.mkdir("readonly");
  ::chmod(drive.host("readonly").c_str(), 0555);
  struct Case {
    const char *path, *reason;
  };
  const Case cases[] = {
      {"C:\\locked.wav", "the file is read-only"},
      {"C:\\dir.wav", "it is a directory"},
      {"C:\\readonly\\x.wav", "its directory is read-only"},
      {"C:\\missing\\x.wav", "its directory does not exist"},
      {"C:\\a:b.wav", "the path is not valid"},
      {"Q:\\x.wav", "drive Q: does not exist"},
  };
  for (const Case& c : cases) EXPECT_EQ(files.createReplacement(c.path).status.reason(), c.reason) << c.path;
}

TEST_F(HostFileSystemTest, OpensOnlyRegularFilesForInput) {
  drive.mkdir("folder.wav");
  ASSERT_EQ(::mkfifo(drive.host("pipe.wav").c_str(), 0644), 0);
  EXPECT_EQ(files.openInput("C:\\folder.wav").status.reason(), "it is a directory");
  EXPECT_EQ(files.openInput("C:\\pipe.wav").status.reason(), "it is not a regular file");
  EXPECT_EQ(files.openInput("C:\\none.wav").status.reason(), "No such file or directory");

  drive.write("in.wav", "0123456789");
  Opened<InputFile> in = files.openInput("C:\\in.wav");
  ASSERT_TRUE(in.status);
  EXPECT_EQ(in.file->size(), 10U);
  std::array<std::byte, 8> buffer{};
  ByteSource::Read r = in.file->readAt(6, buffer);
  EXPECT_EQ(r.count, 4U);
  EXPECT_EQ(std::to_integer<char>(buffer[0]), '6');
}

TEST_F(HostFileSystemTest, CopiesWholeFiles) {
  std::string content(3 << 20, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 % 251);
  drive.write("in.wav", content);
  Opened<InputFile> in = files.openInput("C:\\in.wav");
  Opened<ReplacementFile> out = files.createReplacement("C:\\copy.wav");
  std::uint64_t reported = 0;
  ASSERT_TRUE(out.file->copyFrom(*in.file, [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, content.size());
    reported = done;
    return true;
  }));
  ASSERT_TRUE(out.file->commit());
  EXPECT_EQ(reported, content.size());
  EXPECT_EQ(drive.read("copy.wav"), content);
}

// Where unnamed files cannot be had, the copy waits under a hidden name.
TEST_F(HostFileSystemTest, NamedTemporariesAppearOnlyOnCommitToo) {
  HostFileSystem named(DriveMap::fromEnvironment(), HostFileSystem::Temporaries::Named);
  drive.write("out.wav", "old");
  {
    Opened<ReplacementFile> out = named.createReplacement("C:\\out.wav");
    ASSERT_TRUE(out.status) << out.status.reason();
    ASSERT_TRUE(out.file->writeAt(0, bytes("new")));
    EXPECT_EQ(drive.list("").size(), 2U) << "the new content waits beside the target";
  }
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"out.wav"}));
  for (auto existing : {ReplacementFile::Existing::Replace, ReplacementFile::Existing::Keep}) {
    for (HostFileSystem* fs : {&files, &named}) {
      Opened<ReplacementFile> out = fs->createReplacement("C:\\out.wav");
      ASSERT_TRUE(out.file->writeAt(0, bytes("newer")));
      const IoStatus s = out.file->commit(existing);
      EXPECT_EQ(s.ok(), existing == ReplacementFile::Existing::Replace) << s.reason();
      EXPECT_EQ(drive.list(""), (std::vector<std::string>{"out.wav"}));
    }
  }
  EXPECT_EQ(drive.read("out.wav"), "newer");
}

// A link is written through to its target, which keeps its owner and mode.
TEST_F(HostFileSystemTest, ReplacesThroughLinksKeepingOwnerAndMode) {
  drive.mkdir("real");
  drive.write("real/info.xls", "old log");
  ::chmod(drive.host("real/info.xls").c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(drive.host("real/info.xls").c_str(), 4321, 4322), 0);
  }
  std::filesystem::create_symlink("real/info.xls", drive.host("info.xls"));
  std::filesystem::create_symlink(drive.host("info.xls"), drive.host("second.xls"));

  Opened<ReplacementFile> out = files.createReplacement("C:\\second.xls");
  ASSERT_TRUE(out.status) << out.status.reason();
  ASSERT_TRUE(out.file->writeAt(0, bytes("new log")));
  ASSERT_TRUE(out.file->commit());

  EXPECT_TRUE(std::filesystem::is_symlink(drive.host("info.xls")));
  EXPECT_TRUE(std::filesystem::is_symlink(drive.host("second.xls")));
  EXPECT_EQ(drive.read("real/info.xls"), "new log");
  struct stat st {};
  ASSERT_EQ(::stat(drive.host("real/info.xls").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640U);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321U);
    EXPECT_EQ(st.st_gid, 4322U);
  }
  EXPECT_EQ(drive.list("real"), (std::vector<std::string>{"info.xls"}));

  // A link to a file not yet there creates it where the link points.
  std::filesystem::create_symlink("real/new.xls", drive.host("new.xls"));
  Opened<ReplacementFile> created = files.createReplacement("C:\\new.xls");
  ASSERT_TRUE(created.file->writeAt(0, bytes("x")));
  ASSERT_TRUE(created.file->commit());
  EXPECT_EQ(drive.read("real/new.xls"), "x");
}

// Holes are not copied as zeros: the copy stays as sparse as its input.
TEST_F(HostFileSystemTest, CopiesSparseFilesWithTheirHoles) {
  const std::string path = drive.host("sparse.wav");
  const std::string head = test::canonicalWav(44100, 2, 16, 64);
  drive.write("sparse.wav", head);
  std::filesystem::resize_file(path, std::uint64_t{64} << 20);
  {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 40 << 20, SEEK_SET);
    std::fputs("data in the middle", f);
    std::fclose(f);
  }
  Opened<InputFile> in = files.openInput("C:\\sparse.wav");
  Opened<ReplacementFile> out = files.createReplacement("C:\\copy.wav");
  ASSERT_TRUE(out.file->copyFrom(*in.file, {}));
  ASSERT_TRUE(out.file->commit());
  EXPECT_EQ(drive.read("copy.wav"), drive.read("sparse.wav"));
  struct stat input {}, copy {};
  ASSERT_EQ(::stat(path.c_str(), &input), 0);
  ASSERT_EQ(::stat(drive.host("copy.wav").c_str(), &copy), 0);
  if (input.st_blocks * 512 < input.st_size / 2) {  // the file system keeps holes
    EXPECT_LE(copy.st_blocks, input.st_blocks + 64) << "the holes were filled";
  }
}

// Bytes held in memory, which the copy can only read and write itself.
struct MemoryInput : InputFile {
  explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    Read r;
    if (offset < bytes_.size()) r.count = bytes_.copy(reinterpret_cast<char*>(into.data()), into.size(), offset);
    return r;
  }
  std::uint64_t size() const override { return bytes_.size(); }
  std::string bytes_;
};

// A progress that asks the copy to stop at its `stopAt`th call, counted from 1.
struct StoppingProgress {
  int stopAt;
  int calls = 0;
  std::uint64_t lastDone = 0;
  CopyProgress progress() {
    return [this](std::uint64_t done, std::uint64_t) {
      lastDone = done;
      return ++calls < stopAt;
    };
  }
};

// Cancelled at its start or between steps, by either copy, a copy leaves the
// old target and no temporary behind, named or unnamed.
TEST_F(HostFileSystemTest, CancelledCopyLeavesNothing) {
  // Two stretches of data 64 MiB apart: the kernel copy takes at least a step for each.
  const std::string head = test::canonicalWav(44100, 2, 16, 64);
  drive.write("sparse.wav", head);
  std::filesystem::resize_file(drive.host("sparse.wav"), std::uint64_t{72} << 20);
  {
    std::FILE* f = std::fopen(drive.host("sparse.wav").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 68 << 20, SEEK_SET);
    std::fputs("data far behind", f);
    std::fclose(f);
  }
  const std::string sparse = drive.read("sparse.wav");
  drive.write("out.wav", "old");
  const std::string buffered(3 << 20, 'b');  // three steps of the read/write copy
  HostFileSystem named(DriveMap::fromEnvironment(), HostFileSystem::Temporaries::Named);
  for (HostFileSystem* fs : {&files, &named}) {
    for (bool kernel : {true, false}) {
      for (int stopAt : {1, 2}) {
        SCOPED_TRACE((fs == &named ? "named, " : "unnamed, ") +
                     std::string(kernel ? "kernel copy" : "read/write") + ", stop at call " +
                     std::to_string(stopAt));
        Opened<InputFile> host = files.openInput("C:\\sparse.wav");
        ASSERT_TRUE(host.status) << host.status.reason();
        MemoryInput memory(buffered);
        InputFile& in = kernel ? static_cast<InputFile&>(*host.file) : memory;
        StoppingProgress stopping{stopAt};
        {
          Opened<ReplacementFile> out = fs->createReplacement("C:\\out.wav");
          ASSERT_TRUE(out.status) << out.status.reason();
          const IoStatus s = out.file->copyFrom(in, stopping.progress());
          EXPECT_TRUE(s.wasCancelled()) << s.reason();
          EXPECT_FALSE(s.ok());
          EXPECT_EQ(stopping.calls, stopAt) << "the copy stops at once";
          if (stopAt == 1) {
            EXPECT_EQ(stopping.lastDone, 0U) << "the first call comes before any byte";
          } else {
            EXPECT_GT(stopping.lastDone, 0U);
          }
          // A clone is whole at once; any other copy stops before its end.
          if (out.file->copyMethod() != "cloned") {
            EXPECT_LT(stopping.lastDone, in.size());
          }
        }
        EXPECT_EQ(drive.list(""), (std::vector<std::string>{"out.wav", "sparse.wav"}));
        EXPECT_EQ(drive.read("out.wav"), "old");
      }
    }
  }
  EXPECT_EQ(drive.read("sparse.wav"), sparse);
}

TEST_F(HostFileSystemTest, KnowsTheSameFileUnderTwoNames) {
  drive.write("a.wav", "x");
  std::filesystem::create_symlink(drive.host("a.wav"), drive.host("link.wav"));
  EXPECT_TRUE(files.sameFile("C:\\a.wav", "c:/link.wav"));
  EXPECT_TRUE(files.sameFile("C:\\a.wav", "C:\\x\\..\\a.wav"));
  EXPECT_FALSE(files.sameFile("C:\\a.wav", "C:\\b.wav"));
}

// A link that leads nowhere is no file, and no reason to fail the listing
// or leave it unsorted.
TEST_F(HostFileSystemTest, ListsPastLinksThatLeadNowhere) {
  for (const char* name : {"c.wav", "A.wav", "b.wav"}) drive.write(name, "RIFF");
  std::filesystem::create_symlink(drive.host("gone"), drive.host("dangling.wav"));
  std::vector<std::string> names;
  const IoStatus listed = files.listFiles("C:\\*.wav", names);
  EXPECT_TRUE(listed) << listed.reason();
  EXPECT_EQ(names, (std::vector<std::string>{"A.wav", "b.wav", "c.wav"}));
}

TEST_F(HostFileSystemTest, MakesOneDirectory) {
  EXPECT_TRUE(files.makeDirectory("C:\\temp"));
  EXPECT_EQ(files.makeDirectory("C:\\temp").reason(), "File exists");
  EXPECT_FALSE(files.makeDirectory("C:\\a\\b"));
  EXPECT_TRUE(drive.exists("temp"));
}

}  // namespace
}  // namespace vellora
