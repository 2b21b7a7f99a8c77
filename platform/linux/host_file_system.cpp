#include "platform/linux/host_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_policy.h"
#include "platform/linux/leftover_guard.h"
#include "platform/linux/unique_fd.h"
#include "platform/wildcard.h"

namespace vellora {
namespace {

IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }
IoStatus lastSystemFailure() { return systemFailure(errno); }

// "Read-only" means that the permission bits allow nobody to write, which also
// stops root, as a read-only file does on the desktop.
bool noWriteBits(const struct stat& st) { return (st.st_mode & 0222) == 0; }

PathFacts::Kind kindOf(const struct stat& st) {
  return S_ISREG(st.st_mode)   ? PathFacts::Kind::RegularFile
         : S_ISDIR(st.st_mode) ? PathFacts::Kind::Directory
                               : PathFacts::Kind::Other;
}

// A regular file opened for reading, or for reading and writing in place.
class HostInputFile final : public UpdatableFile {
 public:
  HostInputFile(UniqueFd fd, std::uint64_t size, std::shared_ptr<const HostCalls> calls)
      : fd_(std::move(fd)), size_(size), calls_(std::move(calls)) {}

  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    Read r;
    while (r.count < into.size()) {
      const ssize_t n = calls_->pread(fd_.get(), into.data() + r.count, into.size() - r.count,
                                      static_cast<off_t>(offset + r.count));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        r.status = lastSystemFailure();
        break;
      }
      if (n == 0) break;
      r.count += static_cast<std::size_t>(n);
    }
    return r;
  }
  std::uint64_t size() const override { return size_; }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override;
  IoStatus flush() override { return calls_->fsync(fd_.get()) == 0 ? IoStatus{} : lastSystemFailure(); }
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
  std::uint64_t size_;
  std::shared_ptr<const HostCalls> calls_;
};

IoStatus writeAll(int fd, const std::byte* data, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const ssize_t n = ::pwrite(fd, data, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lastSystemFailure();
    data += n;
    count -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return {};
}

IoStatus HostInputFile::writeAt(std::uint64_t offset, std::span<const std::byte> bytes) {
  return writeAll(fd_.get(), bytes.data(), bytes.size(), offset);
}

// Progress comes between steps of this size, short enough for Cancel to act
// within a second even on a slow disk; a single call copies at most
// what copy_file_range takes at once.
constexpr std::uint64_t kProgressStep = std::uint64_t{16} << 20;
constexpr std::uint64_t kLargestCall = std::uint64_t{1} << 30;

struct Segment {
  std::uint64_t begin, end;
};

// The next stretch of data at or after `at`; {total, total} when only a hole
// is left. A file system that cannot tell holes shows the whole rest as data.
Segment nextDataSegment(int fd, std::uint64_t at, std::uint64_t total) {
  const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
  if (data < 0) return errno == ENXIO ? Segment{total, total} : Segment{at, total};
  const off_t hole = ::lseek(fd, data, SEEK_HOLE);
  const std::uint64_t begin = std::min<std::uint64_t>(static_cast<std::uint64_t>(data), total);
  const std::uint64_t end =
      hole < 0 ? total : std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), total);
  return {begin, std::max(begin, end)};
}

// The mark of this process in its temporaries' names: the boot, the
// process-id namespace and the process id, "BOOT-NAMESPACE-PID" in hex.
struct ProcessMark {
  std::string boot;  // 32 hex digits, or "0" where the system does not say
  std::uint64_t space = 0;
  std::uint64_t process = 0;

  std::string text() const {
    char rest[48];
    std::snprintf(rest, sizeof rest, "-%llx-%llx", static_cast<unsigned long long>(space),
                  static_cast<unsigned long long>(process));
    return boot + rest;
  }
  static std::optional<ProcessMark> parse(std::string_view text) {
    constexpr std::size_t kBootDigits = 32;
    const auto hex = [](std::string_view digits, std::uint64_t& value) {
      const char* end = digits.data() + digits.size();
      const auto [stop, error] = std::from_chars(digits.data(), end, value, 16);
      return !digits.empty() && error == std::errc() && stop == end;
    };
    ProcessMark mark;
    mark.boot = text.substr(0, kBootDigits);
    const std::size_t dash = text.find('-', kBootDigits + 1);
    if (mark.boot.size() != kBootDigits || mark.boot.find_first_not_of("0123456789abcdef") != std::string::npos ||
        text.size() <= kBootDigits || text[kBootDigits] != '-' || dash == std::string_view::npos ||
        !hex(text.substr(kBootDigits + 1, dash - kBootDigits - 1), mark.space) ||
        !hex(text.substr(dash + 1), mark.process))
      return std::nullopt;
    return mark;
  }
};

const ProcessMark& thisProcess() {
  static const ProcessMark mark = [] {
    ProcessMark m{.boot = "0", .space = 0, .process = static_cast<std::uint64_t>(::getpid())};
    if (std::FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
      std::string boot;
      for (int c; (c = std::fgetc(f)) != EOF;)
        if (std::isxdigit(c)) boot += static_cast<char>(std::tolower(c));
      std::fclose(f);
      if (boot.size() == 32) m.boot = boot;
    }
    struct stat space {};
    if (::stat("/proc/self/ns/pid", &space) == 0) m.space = static_cast<std::uint64_t>(space.st_ino);
    return m;
  }();
  return mark;
}

// When this boot began, on the clock of modification times.
std::int64_t bootTimeNanoseconds() {
  timespec now {}, sinceBoot {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
  constexpr std::int64_t kNano = 1'000'000'000;
  return (std::int64_t{now.tv_sec} - sinceBoot.tv_sec) * kNano + (now.tv_nsec - sinceBoot.tv_nsec);
}

// True for a temporary whose process is surely gone: one of this boot and
// process namespace whose process has ended, or one of another boot that
// was last written before this boot began. A temporary of another machine
// sharing the directory, or of another namespace, is never taken for one.
bool leftOver(const ProcessMark& owner, int directory, const char* name) {
  const ProcessMark& self = thisProcess();
  struct stat st {};
  if (self.boot == "0" || ::fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
    return false;
  if (owner.boot != self.boot) {
    const std::int64_t written = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    return written < bootTimeNanoseconds();
  }
  if (owner.space != self.space || owner.process == self.process) return false;
  return ::kill(static_cast<pid_t>(owner.process), 0) != 0 && errno == ESRCH;
}

// Removes the temporaries that killed processes (SIGKILL, a crash, a power
// cut) left in `directory`.
void removeLeftovers(int directory) {
  UniqueFd listed(::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listed) return;
  struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::fdopendir(listed.get()));
  if (!dir) return;
  listed.release();
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<std::string_view> owner = temporaryOwner(entry->d_name);
    if (!owner) continue;
    const std::optional<ProcessMark> mark = ProcessMark::parse(*owner);
    if (mark && leftOver(*mark, directory, entry->d_name)) ::unlinkat(directory, entry->d_name, 0);
  }
}

// Gives an unnamed file (O_TMPFILE) a name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, int directory, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), directory, name, AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  // Without /proc, the descriptor itself names the file (this needs privilege).
  return ::linkat(fd, "", directory, name, AT_EMPTY_PATH);
}

// A hidden name in `directory`, made by `create` (-1 with errno set on
// failure) and registered with the leftover guard before it exists.
IoStatus createBeside(int directory, const std::function<int(const char* name)>& create, std::string& made,
                      int& slot) {
  return createUnderFreshName(thisProcess().text(), [&](const std::string& name) -> std::optional<IoStatus> {
    slot = rememberTemporary(directory, name.c_str());
    if (create(name.c_str()) == 0) {
      made = name;
      return IoStatus();
    }
    const int error = errno;
    forgetTemporary(slot);
    slot = -1;
    if (error == EEXIST) return std::nullopt;
    return systemFailure(error);
  });
}

// Renames `from` to `to` in `directory` unless `to` exists. A file system
// without RENAME_NOREPLACE (NFS) links the new name instead, which fails
// just as surely when it exists, and then drops the old one.
int renameUnlessTaken(const HostCalls& calls, int directory, const char* from, const char* to) {
  if (calls.renameat2(directory, from, directory, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::linkat(directory, from, directory, to, 0) != 0) return -1;
  ::unlinkat(directory, from, 0);
  return 0;
}

// Where a replacement goes: the directory that will hold it, open, and its
// name there. Reached through links only as the kernel would follow them.
struct Destination {
  UniqueFd directory;
  std::string name;
  bool throughLink = false;
  PathFacts target;
  struct stat targetStat {};
  struct stat directoryStat {};
};

// Splits "a/b/c" into "a/b" and "c", "/c" into "/" and "c", "c" into "" and "c".
std::pair<std::string, std::string> splitLast(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// A directory to work in; one that may be searched but not listed is held for its path only.
UniqueFd openDirectory(int base, const std::string& path) {
  const char* name = path.empty() ? "." : path.c_str();
  UniqueFd fd(::openat(base, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd && errno == EACCES) fd.reset(::openat(base, name, O_PATH | O_DIRECTORY | O_CLOEXEC));
  return fd;
}

// fs.protected_symlinks: in a sticky directory that anyone may write to
// (/tmp), a link is followed only for its owner, or when the directory's
// owner made it.
bool kernelWouldFollow(const struct stat& directory, const struct stat& link) {
  const bool shared = (directory.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == ::geteuid() || link.st_uid == directory.st_uid;
}

// cp's words for a link whose target is not there.
IoStatus danglingLink() { return IoStatus::failure("not writing through dangling symlink"); }

IoStatus directoryFailure(int error) {
  if (error == ENOENT) return IoStatus::failure("its directory does not exist");
  if (error == ENOTDIR) return IoStatus::failure("its directory is not a directory");
  return systemFailure(error);
}

// Follows `hostPath` to the file a replacement takes the place of: a link
// there is written through, as the kernel would follow it, and its target
// then replaced in the target's own directory.
IoStatus reach(const std::string& hostPath, Destination& where) {
  const auto [directory, name] = splitLast(hostPath);
  where.directory = openDirectory(AT_FDCWD, directory);
  if (!where.directory) return directoryFailure(errno);
  where.name = name;
  for (int links = 0;; ++links) {
    if (::fstat(where.directory.get(), &where.directoryStat) != 0) return lastSystemFailure();
    // A link to "dir/", "." or "..": a directory, which nothing replaces.
    const bool directoryItself = where.name.empty() || where.name == "." || where.name == "..";
    const char* entry = directoryItself ? "." : where.name.c_str();
    if (::fstatat(where.directory.get(), entry, &where.targetStat, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return lastSystemFailure();
      where.target.kind = PathFacts::Kind::Missing;
      return {};
    }
    if (!S_ISLNK(where.targetStat.st_mode)) {
      where.target.kind = kindOf(where.targetStat);
      return {};
    }
    if (links == 40) return systemFailure(ELOOP);  // the kernel's own limit
    if (!kernelWouldFollow(where.directoryStat, where.targetStat))
      return IoStatus::failure("not following a link that another user owns in a shared directory");
    std::string text(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(where.directory.get(), entry, text.data(), text.size());
    if (n < 0) return lastSystemFailure();
    if (static_cast<std::size_t>(n) == text.size()) return systemFailure(ENAMETOOLONG);
    text.resize(static_cast<std::size_t>(n));
    const auto [linkDirectory, linkName] = splitLast(text);
    if (!linkDirectory.empty()) {
      UniqueFd next = openDirectory(where.directory.get(), linkDirectory);
      if (!next && (errno == ENOENT || errno == ENOTDIR)) return danglingLink();
      if (!next) return lastSystemFailure();
      where.directory = std::move(next);
    }
    where.name = linkName;
    where.throughLink = true;
  }
}

// Before the copy, in the directory held open: why the target cannot be
// replaced, as far as the system tells beforehand.
IoStatus checkDestination(Destination& where) {
  PathFacts directory;
  directory.kind = PathFacts::Kind::Directory;
  directory.readOnly = noWriteBits(where.directoryStat);
  const struct stat& target = where.targetStat;
  if (where.target.kind == PathFacts::Kind::RegularFile) {
    // In a sticky directory only a file's owner, the directory's owner or
    // root may rename over it; the system's own words say so, not "read-only".
    const uid_t user = ::geteuid();
    if ((where.directoryStat.st_mode & S_ISVTX) && user != 0 && target.st_uid != user &&
        where.directoryStat.st_uid != user)
      return systemFailure(EPERM);
    if (::faccessat(where.directory.get(), where.name.c_str(), W_OK, AT_EACCESS) != 0)
      where.target.readOnly = true;
    if (noWriteBits(target)) where.target.readOnly = true;
  }
  return checkReplacementPlace(where.target, directory);
}

// A replaced file keeps its owner, group and permissions; a copy that
// cannot have them replaces nothing. A new file gets the umask's.
IoStatus keepOwnerAndMode(int fd, const struct stat& target) {
  struct stat made {};
  if (::fstat(fd, &made) != 0) return lastSystemFailure();
  if ((made.st_uid != target.st_uid || made.st_gid != target.st_gid) &&
      ::fchown(fd, target.st_uid, target.st_gid) != 0)
    return IoStatus::failure(std::string("could not keep the owner of the file it replaces: ") +
                             std::strerror(errno));
  // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
  const mode_t mode = target.st_mode & 07777;
  if (::fchmod(fd, mode) != 0 || ::fstat(fd, &made) != 0)
    return IoStatus::failure(std::string("could not keep the permissions of the file it replaces: ") +
                             std::strerror(errno));
  // The system may drop a bit without failing (set-group-ID for a group the user is not in).
  if ((made.st_mode & 07777) != mode)
    return IoStatus::failure("could not keep the permissions of the file it replaces");
  return {};
}

// The copy is written to an unnamed file where the file system allows it, so
// that nothing is left even when the process is killed; elsewhere to a hidden
// named file that a stopping signal removes (see leftover_guard.h). It takes
// its name only once it is complete and closed.
class HostReplacementFile final : public ReplacementSkeleton {
 public:
  HostReplacementFile(UniqueFd file, Destination where, std::string temporary, int slot,
                      std::shared_ptr<const HostCalls> calls)
      : file_(std::move(file)),
        directory_(std::move(where.directory)),
        name_(std::move(where.name)),
        throughLink_(where.throughLink),
        temporary_(std::move(temporary)),
        slot_(slot),
        calls_(std::move(calls)) {}
  ~HostReplacementFile() override {
    if (!committed()) discard();
    forgetTemporary(slot_);
  }

  IoStatus takeOver(const struct stat& target) { return keepOwnerAndMode(file_.get(), target); }

 private:
  // Clones the whole file where the file system shares extents (XFS,
  // btrfs), and copies its data segments in the kernel otherwise, so that
  // holes stay holes.
  std::optional<IoStatus> copyBySystem(InputFile& source, std::uint64_t total,
                                       const CopyProgress& progress) override {
    auto* host = dynamic_cast<HostInputFile*>(&source);
    if (!host) return std::nullopt;
    if (total > 0 && ::ioctl(file_.get(), FICLONE, host->fd()) == 0) {
      copiedBy("cloned");
      return IoStatus();
    }
    copiedBy("kernel copy");
    bool copiedAny = false;
    for (std::uint64_t at = 0; at < total;) {
      const auto [begin, end] = nextDataSegment(host->fd(), at, total);
      if (begin >= total) break;
      for (std::uint64_t from = begin; from < end;) {
        // Without progress to report, one call asks for all that is left.
        const std::uint64_t step = progress ? std::min(kProgressStep, end - from) : end - from;
        loff_t in = static_cast<loff_t>(from), out = static_cast<loff_t>(from);
        const ssize_t n = calls_->copyFileRange(host->fd(), &in, file_.get(), &out,
                                                static_cast<std::size_t>(std::min(step, kLargestCall)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !copiedAny) return std::nullopt;
        // The kernel does not say which file failed it: reads and writes
        // take over from here, and do.
        if (n < 0) return copyByReadAndWrite(source, from, total, progress);
        if (n == 0) return IoStatus();  // it got shorter, which the check after the copy says
        copiedAny = true;
        from += static_cast<std::uint64_t>(n);
        if (progress && !progress(from, total)) return IoStatus::cancelled();
      }
      at = end;
    }
    // A hole at the end has no data to copy, but it is part of the length.
    if (::ftruncate(file_.get(), static_cast<off_t>(total)) != 0) return lastSystemFailure();
    return IoStatus();
  }

  IoStatus writeBytes(std::uint64_t offset, std::span<const std::byte> bytes) override {
    return writeAll(file_.get(), bytes.data(), bytes.size(), offset);
  }

  IoStatus putInPlace(Existing existing, bool durable) override {
    const int directory = directory_.get();
    // Without leave to replace, nothing is written through a link: there is
    // a file at its end, or nothing, as cp says.
    if (existing == Existing::Keep && throughLink_) {
      struct stat st {};
      return ::fstatat(directory, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                 ? targetExistsAlready()
                 : danglingLink();
    }
    if (durable && calls_->fsync(file_.get()) != 0) return lastSystemFailure();
    if (temporary_.empty()) {
      // A hidden name first, so that the copy is closed before it takes its own.
      const int fd = file_.get();
      if (IoStatus named = createBeside(
              directory, [fd, directory](const char* name) { return linkUnnamed(fd, directory, name); },
              temporary_, slot_);
          !named)
        return named;
    }
    // Network file systems report a lost write only here.
    if (calls_->close(file_.release()) != 0) return lastSystemFailure();
    const int rc = existing == Existing::Replace
                       ? calls_->renameat2(directory, temporary_.c_str(), directory, name_.c_str(), 0)
                       : renameUnlessTaken(*calls_, directory, temporary_.c_str(), name_.c_str());
    if (rc != 0) return errno == EEXIST ? targetExistsAlready() : lastSystemFailure();
    temporary_.clear();  // it is the target now
    forgetTemporary(std::exchange(slot_, -1));
    if (durable && calls_->fsync(directory) != 0) return IoStatus::inPlaceNotFlushed(std::strerror(errno));
    return {};
  }

  void discard() override {
    file_.reset();  // an unnamed file vanishes as it closes
    if (!temporary_.empty()) ::unlinkat(directory_.get(), temporary_.c_str(), 0);
    temporary_.clear();
    forgetTemporary(std::exchange(slot_, -1));
  }

  UniqueFd file_;
  UniqueFd directory_;
  std::string name_;
  bool throughLink_;
  std::string temporary_;  // the copy's hidden name in directory_, empty while it has none
  int slot_;
  std::shared_ptr<const HostCalls> calls_;
};

}  // namespace

HostFileSystem::Temporaries temporariesFromEnvironment() {
  const char* value = std::getenv("VELLORA_TEMPORARY_FILES");
  return value && std::string_view(value) == "named" ? HostFileSystem::Temporaries::Named
                                                     : HostFileSystem::Temporaries::Unnamed;
}

HostFileSystem::HostFileSystem(DriveMap drives, Temporaries temporaries, HostCalls calls)
    : drives_(std::move(drives)),
      unnamedTemporaries_(temporaries == Temporaries::Unnamed),
      calls_(std::make_shared<const HostCalls>(std::move(calls))) {}

namespace {

// The regular file at a path of the drive map, opened with `flags`;
// directories, devices and FIFOs are refused without waiting on them.
Opened<HostInputFile> openRegular(const DriveMap& drives, const std::string& path, int flags,
                                  std::shared_ptr<const HostCalls> calls) {
  std::string why;
  const std::optional<std::string> host = drives.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  // O_NONBLOCK so that a FIFO fails below instead of waiting for a writer.
  UniqueFd fd(::open(host->c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return {nullptr, errno == EISDIR ? IoStatus::failure("it is a directory") : lastSystemFailure()};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return {nullptr, lastSystemFailure()};
  if (IoStatus readable = checkReadable(kindOf(st), Reading::Whole); !readable) return {nullptr, readable};
  // Root could write it all the same; a file nobody may write stays unchanged.
  if ((flags & O_ACCMODE) != O_RDONLY && noWriteBits(st)) return {nullptr, IoStatus::failure("the file is read-only")};
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status >= 0) ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
  return {std::make_unique<HostInputFile>(std::move(fd), static_cast<std::uint64_t>(st.st_size), std::move(calls)),
          {}};
}

}  // namespace

Opened<InputFile> HostFileSystem::openInput(const std::string& path) {
  Opened<HostInputFile> opened = openRegular(drives_, path, O_RDONLY, calls_);
  return {std::move(opened.file), opened.status};
}

Opened<UpdatableFile> HostFileSystem::openForUpdate(const std::string& path) {
  Opened<HostInputFile> opened = openRegular(drives_, path, O_RDWR, calls_);
  return {std::move(opened.file), opened.status};
}

Opened<ReplacementFile> HostFileSystem::createReplacement(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  Destination where;
  if (IoStatus reached = reach(*host, where); !reached) return {nullptr, reached};
  if (IoStatus place = checkDestination(where); !place) return {nullptr, place};
  const int directory = where.directory.get();
  removeLeftovers(directory);

  const bool replacing = where.target.kind != PathFacts::Kind::Missing;
  const struct stat target = where.targetStat;
  std::unique_ptr<HostReplacementFile> file;
  if (unnamedTemporaries_) {
    UniqueFd fd(::openat(directory, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd)
      file = std::make_unique<HostReplacementFile>(std::move(fd), std::move(where), std::string(), -1, calls_);
    else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
      return {nullptr, lastSystemFailure()};
  }
  if (!file) {
    UniqueFd fd;
    std::string temporary;
    int slot = -1;
    const IoStatus made = createBeside(
        directory,
        [&fd, directory](const char* name) {
          fd.reset(::openat(directory, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
          return fd ? 0 : -1;
        },
        temporary, slot);
    if (!made) return {nullptr, made};
    file = std::make_unique<HostReplacementFile>(std::move(fd), std::move(where), std::move(temporary), slot,
                                                 calls_);
  }
  // Before the copy, so that a file that cannot keep them costs none; the
  // replacement removes its temporary as it goes.
  if (replacing)
    if (IoStatus kept = file->takeOver(target); !kept) return {nullptr, kept};
  return {std::move(file), {}};
}

bool HostFileSystem::exists(const std::string& path) {
  const std::optional<std::string> host = drives_.toHost(path);
  struct stat st {};
  return host && ::stat(host->c_str(), &st) == 0;
}

bool HostFileSystem::sameFile(const std::string& a, const std::string& b) {
  const std::optional<std::string> hostA = drives_.toHost(a), hostB = drives_.toHost(b);
  if (!hostA || !hostB) return false;
  struct stat sa {}, sb {};
  return ::stat(hostA->c_str(), &sa) == 0 && ::stat(hostB->c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

IoStatus HostFileSystem::makeDirectory(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return IoStatus::failure(why);
  if (::mkdir(host->c_str(), 0777) != 0) return lastSystemFailure();
  return {};
}

std::optional<std::string> HostFileSystem::absolutePath(const std::string& path) {
  return drives_.absolute(path);
}

namespace {

// Splits "C:\\temp\\*.wav" into the directory "C:\\temp" and the pattern "*.wav".
// A pattern with no separator lies in the current directory, or at the root
// of its drive when it names one.
std::pair<std::string, std::string> splitPattern(const std::string& pattern) {
  const std::size_t last = pattern.find_last_of("\\/");
  if (last != std::string::npos)
    return {pattern.substr(0, last == 0 || (last == 2 && pattern[1] == ':') ? last + 1 : last),
            pattern.substr(last + 1)};
  if (pattern.size() >= 2 && pattern[1] == ':') return {pattern.substr(0, 2), pattern.substr(2)};
  return {std::string(), pattern};
}

}  // namespace

IoStatus HostFileSystem::listFiles(const std::string& pattern, std::vector<std::string>& names) {
  names.clear();
  const auto [directory, wildcard] = splitPattern(pattern);
  std::string why;
  const std::optional<std::string> host = drives_.toHost(directory, &why);
  if (!host) return IoStatus::failure(why);
  struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::opendir(host->c_str()));
  if (!dir) return lastSystemFailure();

  for (;;) {
    // Only readdir's own failure counts: a link that leads nowhere fails the
    // fstatat below, and must not pass for it.
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) break;
    const std::string_view name = entry->d_name;
    if (name.front() == '.' || !wildcardMatch(wildcard, name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      regular = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    // The caller joins the names to a system path, so they come in system form.
    if (regular) names.push_back(DriveMap::nameToSystem(name));
  }
  if (errno != 0) return lastSystemFailure();
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return caseInsensitiveLess(a, b); });
  return {};
}

std::optional<FileTime> HostFileSystem::modificationTime(const std::string& path) {
  const std::optional<std::string> host = drives_.toHost(path);
  struct stat st {};
  if (!host || ::stat(host->c_str(), &st) != 0) return std::nullopt;
  return FileTime{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace vellora
