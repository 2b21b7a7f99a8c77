#include "platform/linux/host_file_system.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
}

// Uids no account on a test machine has, for files and links of "another user".
constexpr uid_t kStranger = 4321, kDirectoryOwner = 4322;

void plantLink(const std::string& target, const std::string& link, uid_t owner) {
  std::filesystem::create_symlink(target, link);
  ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
}

// A link at the target is followed only where the kernel's
// fs.protected_symlinks would follow it: in a sticky, world-writable
// directory, for its owner or the directory's. Anyone may plant a link in
// /tmp named like the coming output; the file it leads to stays untouched.
TEST_F(HostFileSystemTest, FollowsLinksInSharedDirectoriesOnlyAsTheKernelWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting a link as another user needs root";
  drive.mkdir("victim");
  drive.write("victim/notes.txt", "notes");
  std::ifstream protection("/proc/sys/fs/protected_symlinks");
  int kernelProtects = 0;
  protection >> kernelProtects;
  struct Case {
    mode_t directoryMode;
    uid_t directoryOwner, linkOwner;
    bool followed;
  };
  const Case cases[] = {
      {01777, 0, kStranger, false},  // /tmp: another user's link
      {01777, kDirectoryOwner, kStranger, false},
      {01777, kDirectoryOwner, kDirectoryOwner, true},  // the directory's owner made it
      {01777, kDirectoryOwner, 0, true},                // the user's own link
      {00777, 0, kStranger, true},                      // not sticky
      {01775, 0, kStranger, true},                      // not world-writable
  };
  const std::string foreignLink = "not following a link that another user owns in a shared directory";
  HostFileSystem named(DriveMap::fromEnvironment(), HostFileSystem::Temporaries::Named);
  for (const Case& c : cases) {
    for (HostFileSystem* fs : {&files, &named}) {
      SCOPED_TRACE(testing::Message() << std::oct << c.directoryMode << std::dec << ", directory of "
                                      << c.directoryOwner << ", link of " << c.linkOwner
                                      << (fs == &named ? ", named" : ", unnamed"));
      drive.mkdir("shared");
      ASSERT_EQ(::chown(drive.host("shared").c_str(), c.directoryOwner, 0), 0);
      ASSERT_EQ(::chmod(drive.host("shared").c_str(), c.directoryMode), 0);
      plantLink(drive.host("victim/notes.txt"), drive.host("shared/talk-90.wav"), c.linkOwner);
      plantLink(drive.host("victim/new.txt"), drive.host("shared/dangling-90.wav"), c.linkOwner);
      if (kernelProtects == 1) {
        const int fd = ::open(drive.host("shared/talk-90.wav").c_str(), O_RDONLY);
        EXPECT_EQ(fd >= 0, c.followed) << "the kernel decides otherwise";
        if (fd >= 0) ::close(fd);
      }
      Opened<ReplacementFile> out = fs->createReplacement("C:\\shared\\talk-90.wav");
      if (c.followed) {
        ASSERT_TRUE(out.status) << out.status.reason();
        ASSERT_TRUE(out.file->writeAt(0, bytes("wav")));
        ASSERT_TRUE(out.file->commit());
      } else {
        EXPECT_EQ(out.status.reason(), foreignLink);
      }
      // Where the link leads to nothing, whoever planted it chose where a new file appears.
      EXPECT_EQ(fs->createReplacement("C:\\shared\\dangling-90.wav").status.reason(),
                c.followed ? "not writing through dangling symlink" : foreignLink);
      EXPECT_EQ(drive.read("victim/notes.txt"), c.followed ? "wav" : "notes");
      EXPECT_FALSE(drive.exists("victim/new.txt"));
      EXPECT_EQ(drive.list("shared"), (std::vector<std::string>{"dangling-90.wav", "talk-90.wav"}));
      drive.write("victim/notes.txt", "notes");
      drive.remove("victim/new.txt");
      drive.remove("shared");
    }
  }
}

// The same holds for every link on the way to a file that is written: in
// the output directory's path, the header log's, a file changed in place,
// and a link's own text.
TEST_F(HostFileSystemTest, FollowsEveryLinkOnTheWayOnlyAsTheKernelWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting a link as another user needs root";
  drive.mkdir("victim");
  drive.write("victim/talk.wav", "notes");
  drive.mkdir("temp");
  ASSERT_EQ(::chmod(drive.host("temp").c_str(), 01777), 0);
  plantLink(drive.host("victim"), drive.host("temp/vellora"), kStranger);
  plantLink(drive.host("victim/talk.wav"), drive.host("temp/talk.wav"), kStranger);
  plantLink("temp/vellora", drive.host("hop"), 0);
  for (uid_t owner : {kStranger, uid_t{0}}) {
    SCOPED_TRACE(owner);
    for (const char* link : {"temp/vellora", "temp/talk.wav"}) ASSERT_EQ(::lchown(drive.host(link).c_str(), owner, 0), 0);
    const bool followed = owner == 0;
    const std::string refused = followed ? "" : "not following a link that another user owns in a shared directory";
    EXPECT_EQ(files.makeDirectory("C:\\temp\\vellora\\out").reason(), refused);
    EXPECT_EQ(files.createReplacement("C:\\temp\\vellora\\info.xls").status.reason(), refused);
    EXPECT_EQ(files.createReplacement("C:\\hop\\talk.wav").status.reason(), refused);
    EXPECT_EQ(files.openForUpdate("C:\\temp\\talk.wav").status.reason(), refused);
    EXPECT_EQ(drive.list("victim"), followed ? (std::vector<std::string>{"out", "talk.wav"})
                                             : std::vector<std::string>{"talk.wav"});
  }
}

// A link that leads nowhere is not written through, with leave to replace
// or without, as cp refuses.
TEST_F(HostFileSystemTest, WritesThroughNoDanglingLink) {
  drive.mkdir("real");
  std::filesystem::create_symlink("real/take.wav", drive.host("take.wav"));
  HostFileSystem named(DriveMap::fromEnvironment(), HostFileSystem::Temporaries::Named);
  for (HostFileSystem* fs : {&files, &named})
    EXPECT_EQ(fs->createReplacement("C:\\take.wav").status.reason(), "not writing through dangling symlink");
  EXPECT_EQ(drive.list("real"), std::vector<std::string>{});
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"real", "take.wav"}));
}

// Runs `body` in a child process as the user `uid`, and returns what it
// returned, or a note that the child could not run.
std::string asUser(uid_t uid, const std::function<std::string()>& body) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    std::string said = ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
                               ::setresuid(uid, uid, uid) == 0
                           ? body()
                           : "could not become another user";
    const ssize_t written = ::write(pipe[1], said.data(), said.size());
    ::_exit(written == static_cast<ssize_t>(said.size()) ? 0 : 1);
  }
  ::close(pipe[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  ::waitpid(child, nullptr, 0);
  return said;
}

// Another user's file is refused before anything is copied, with the
// system's own reason: the sticky bit keeps it from being renamed over, and
// a replacement in one's own directory could not keep its owner.
TEST_F(HostFileSystemTest, RefusesAnotherUsersFileWithTheSystemsReason) {
  if (::geteuid() != 0) GTEST_SKIP() << "files of two other users need root";
  ASSERT_EQ(::chmod(drive.root().c_str(), 0755), 0);
  struct Case {
    const char* directory;
    mode_t directoryMode;
    uid_t directoryOwner;
    mode_t fileMode;
    const char* reason;
  };
  const Case cases[] = {
      {"shared", 01777, 0, 0644, "Operation not permitted"},
      {"shared-writable", 01777, 0, 0666, "Operation not permitted"},
      {"mine", 0755, kStranger, 0666, "could not keep the owner of the file it replaces: Operation not permitted"},
  };
  for (const Case& c : cases) {
    const std::string directory = c.directory, file = directory + "/out.wav";
    drive.mkdir(directory);
    ASSERT_EQ(::chown(drive.host(directory).c_str(), c.directoryOwner, c.directoryOwner), 0);
    ASSERT_EQ(::chmod(drive.host(directory).c_str(), c.directoryMode), 0);
    drive.write(file, "old");
    ASSERT_EQ(::chown(drive.host(file).c_str(), kDirectoryOwner, kDirectoryOwner), 0);
    ASSERT_EQ(::chmod(drive.host(file).c_str(), c.fileMode), 0);
    for (auto temporaries : {HostFileSystem::Temporaries::Unnamed, HostFileSystem::Temporaries::Named}) {
      const std::string said = asUser(kStranger, [&] {
        HostFileSystem fs(DriveMap::fromEnvironment(), temporaries);
        return fs.createReplacement("C:\\" + directory + "\\out.wav").status.reason();
      });
      EXPECT_EQ(said, c.reason) << file;
      EXPECT_EQ(drive.list(directory), std::vector<std::string>{"out.wav"}) << file;
      EXPECT_EQ(drive.read(file), "old");
    }
  }
}

// Temporaries that a killed process left are removed by the next
// replacement in their directory; those of a process that may still be at
// work are kept.
TEST_F(HostFileSystemTest, RemovesTemporariesOfProcessesThatAreGone) {
  std::string boot;
  std::ifstream bootId("/proc/sys/kernel/random/boot_id");
  for (char c; bootId.get(c);)
    if (std::isxdigit(static_cast<unsigned char>(c))) boot += c;
  struct stat space {};
  if (boot.size() != 32 || ::stat("/proc/self/ns/pid", &space) != 0)
    GTEST_SKIP() << "the system tells no boot id or process namespace";
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const auto name = [](const std::string& bootPart, std::uint64_t namespaceId, std::uint64_t pid) {
    char text[128];
    std::snprintf(text, sizeof text, ".vellora-%s-%llx-%llx-0.tmp", bootPart.c_str(),
                  static_cast<unsigned long long>(namespaceId), static_cast<unsigned long long>(pid));
    return std::string(text);
  };
  const auto ns = static_cast<std::uint64_t>(space.st_ino);
  const std::string otherBoot(32, 'f');
  const std::string goneHere = name(boot, ns, static_cast<std::uint64_t>(gone)),
                    alive = name(boot, ns, static_cast<std::uint64_t>(::getppid())),
                    mine = name(boot, ns, static_cast<std::uint64_t>(::getpid())),
                    otherNamespace = name(boot, ns + 1, static_cast<std::uint64_t>(gone)),
                    beforeThisBoot = name(otherBoot, ns, 1), sinceThisBoot = name(otherBoot, ns, 2);
  drive.mkdir("out");
  for (const std::string& temporary : {goneHere, alive, mine, otherNamespace, beforeThisBoot, sinceThisBoot})
    drive.write("out/" + temporary, "left");
  const std::filesystem::path old = drive.host("out/" + beforeThisBoot);
  std::filesystem::last_write_time(old, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 30));

  Opened<ReplacementFile> out = files.createReplacement("C:\\out\\talk-90.wav");
  ASSERT_TRUE(out.status) << out.status.reason();
  std::vector<std::string> kept{alive, mine, otherNamespace, sinceThisBoot};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(drive.list("out"), kept);
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

TEST_F(HostFileSystemTest, MakesADirectoryWithItsParents) {
  EXPECT_TRUE(files.makeDirectory("C:\\temp\\vellora"));
  EXPECT_TRUE(files.makeDirectory("C:\\temp\\vellora\\"));
  drive.write("file", "x");
  EXPECT_EQ(files.makeDirectory("C:\\file").reason(), "Not a directory");
  EXPECT_EQ(files.makeDirectory("C:\\file\\sub").reason(), "Not a directory");
  EXPECT_TRUE(drive.exists("temp/vellora"));
}

}  // namespace
}  // namespace vellora
