#include "platform/linux/host_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/file_policy.h"
#include "platform/linux/leftover_guard.h"
#include "platform/linux/unique_fd.h"
#include "platform/wildcard.h"

namespace vellora {
namespace {

IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }
IoStatus lastSystemFailure() { return systemFailure(errno); }

std::string parentOf(const std::string& hostPath) {
  const std::size_t slash = hostPath.rfind('/');
  return slash == 0 ? std::string("/") : hostPath.substr(0, slash);
}

// "Read-only" means that the permission bits allow nobody to write, which also
// stops root, as a read-only file does on the desktop.
bool noWriteBits(const struct stat& st) { return (st.st_mode & 0222) == 0; }

class HostInputFile final : public InputFile {
 public:
  HostInputFile(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    Read r;
    while (r.count < into.size()) {
      const ssize_t n = ::pread(fd_.get(), into.data() + r.count, into.size() - r.count,
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
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
  std::uint64_t size_;
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

IoStatus syncDirectoryOf(const std::string& hostPath) {
  UniqueFd dir(::open(parentOf(hostPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir || ::fsync(dir.get()) != 0) return lastSystemFailure();
  return {};
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

// True for the errors with which copy_file_range says it cannot copy
// between these two files at all, so that reads and writes must.
bool noKernelCopyHere(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF ||
         error == EPERM;
}

// Gives an unnamed file (O_TMPFILE) a name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  // Without /proc, the descriptor itself names the file (this needs privilege).
  return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
}

// A hidden name beside the target, made by `create`, which returns -1 with
// errno set on failure. The name is registered for removal by a stopping
// signal as soon as it exists; `slot` is its registration.
IoStatus createBeside(const std::string& target, const std::function<int(const std::string&)>& create,
                      std::string& made, int& slot) {
  const std::string directory = parentOf(target);
  const std::string prefix = directory == "/" ? std::string("/") : directory + "/";
  return createUnderFreshName(static_cast<std::uint64_t>(::getpid()),
                              [&](const std::string& name) -> std::optional<IoStatus> {
                                if (create(prefix + name) == 0) {
                                  made = prefix + name;
                                  slot = rememberTemporary(made.c_str());
                                  return IoStatus();
                                }
                                if (errno == EEXIST) return std::nullopt;
                                return lastSystemFailure();
                              });
}

// The copy is written to an unnamed file where the file system allows it, so
// that nothing is left even when the process is killed; elsewhere to a hidden
// named file that a stopping signal removes (see leftover_guard.h).
class HostReplacementFile final : public ReplacementSkeleton {
 public:
  // `slot` registers a named temporary with the leftover guard; -1 for an unnamed one.
  HostReplacementFile(UniqueFd fd, std::string tempPath, std::string targetPath, int slot)
      : fd_(std::move(fd)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)), slot_(slot) {}
  ~HostReplacementFile() override {
    if (!committed()) discard();
    forgetTemporary(slot_);
  }

 private:
  // Clones the whole file where the file system shares extents (XFS,
  // btrfs), and copies its data segments in the kernel otherwise, so that
  // holes stay holes.
  std::optional<IoStatus> copyBySystem(InputFile& source, std::uint64_t total,
                                       const CopyProgress& progress) override {
    auto* host = dynamic_cast<HostInputFile*>(&source);
    if (!host) return std::nullopt;
    if (total > 0 && ::ioctl(fd_.get(), FICLONE, host->fd()) == 0) {
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
        const ssize_t n = ::copy_file_range(host->fd(), &in, fd_.get(), &out,
                                            static_cast<std::size_t>(std::min(step, kLargestCall)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !copiedAny && noKernelCopyHere(errno)) return std::nullopt;
        if (n < 0) return lastSystemFailure();
        if (n == 0) return IoStatus();  // it got shorter, which the check after the copy says
        copiedAny = true;
        from += static_cast<std::uint64_t>(n);
        if (progress && !progress(from, total)) return IoStatus::cancelled();
      }
      at = end;
    }
    // A hole at the end has no data to copy, but it is part of the length.
    if (::ftruncate(fd_.get(), static_cast<off_t>(total)) != 0) return lastSystemFailure();
    return IoStatus();
  }

  IoStatus writeBytes(std::uint64_t offset, std::span<const std::byte> bytes) override {
    return writeAll(fd_.get(), bytes.data(), bytes.size(), offset);
  }

  IoStatus putInPlace(Existing existing, bool durable) override {
    if (durable && ::fsync(fd_.get()) != 0) return lastSystemFailure();
    if (tempPath_.empty() && existing == Existing::Keep) {
      // Linking the unnamed file straight to its name never replaces anything.
      const int rc = linkUnnamed(fd_.get(), targetPath_);
      const int error = errno;
      if (fd_.close() != 0 && rc == 0) return lastSystemFailure();
      if (rc != 0) return error == EEXIST ? targetExistsAlready() : systemFailure(error);
      return durable ? syncDirectoryOf(targetPath_) : IoStatus{};
    }
    if (tempPath_.empty()) {
      // Named beside its target, to be renamed over it; a stopping signal removes the name.
      const int fd = fd_.get();
      if (IoStatus named = createBeside(
              targetPath_, [fd](const std::string& name) { return linkUnnamed(fd, name); }, tempPath_, slot_);
          !named)
        return named;
    }
    if (fd_.close() != 0) return lastSystemFailure();
    const int rc = existing == Existing::Replace
                       ? ::rename(tempPath_.c_str(), targetPath_.c_str())
                       : ::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, targetPath_.c_str(),
                                     RENAME_NOREPLACE);
    if (rc != 0) return errno == EEXIST ? targetExistsAlready() : lastSystemFailure();
    tempPath_.clear();  // it is the target now
    return durable ? syncDirectoryOf(targetPath_) : IoStatus{};
  }

  void discard() override {
    fd_.reset();  // an unnamed file vanishes as it closes
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }

  UniqueFd fd_;
  std::string tempPath_;
  std::string targetPath_;
  int slot_ = -1;
};

// The path a chain of symbolic links leads to; the path itself when it is no link.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return path;
    target[n] = '\0';
    path = target[0] == '/' ? std::string(target) : parentOf(path) + "/" + target;
  }
  return path;
}

// What lies at `path`, links followed.
PathFacts factsAbout(const std::string& path, struct stat& st) {
  PathFacts facts;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) facts.status = lastSystemFailure();
    return facts;
  }
  facts.kind = S_ISREG(st.st_mode)   ? PathFacts::Kind::RegularFile
               : S_ISDIR(st.st_mode) ? PathFacts::Kind::Directory
                                     : PathFacts::Kind::Other;
  facts.readOnly = noWriteBits(st);
  return facts;
}

}  // namespace

HostFileSystem::Temporaries temporariesFromEnvironment() {
  const char* value = std::getenv("VELLORA_TEMPORARY_FILES");
  return value && std::string_view(value) == "named" ? HostFileSystem::Temporaries::Named
                                                     : HostFileSystem::Temporaries::Unnamed;
}

HostFileSystem::HostFileSystem(DriveMap drives, Temporaries temporaries)
    : drives_(std::move(drives)), unnamedTemporaries_(temporaries == Temporaries::Unnamed) {}

Opened<InputFile> HostFileSystem::openInput(const std::string& path) {
  std::string why;
  const std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  // O_NONBLOCK so that a FIFO fails below instead of waiting for a writer.
  UniqueFd fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return {nullptr, lastSystemFailure()};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return {nullptr, lastSystemFailure()};
  const PathFacts::Kind kind = S_ISREG(st.st_mode)   ? PathFacts::Kind::RegularFile
                              : S_ISDIR(st.st_mode) ? PathFacts::Kind::Directory
                                                    : PathFacts::Kind::Other;
  if (IoStatus readable = checkReadable(kind, Reading::Whole); !readable) return {nullptr, readable};
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  return {std::make_unique<HostInputFile>(std::move(fd), static_cast<std::uint64_t>(st.st_size)),
          {}};
}

Opened<ReplacementFile> HostFileSystem::createReplacement(const std::string& path) {
  std::string why;
  std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  // A link is written through: its target gets the new content, the link stays.
  host = followLinks(*host);

  struct stat target {}, dir {};
  PathFacts targetFacts = factsAbout(*host, target);
  if (targetFacts.kind == PathFacts::Kind::RegularFile && ::access(host->c_str(), W_OK) != 0)
    targetFacts.readOnly = true;
  const std::string directory = parentOf(*host);
  if (IoStatus place = checkReplacementPlace(targetFacts, factsAbout(directory, dir)); !place)
    return {nullptr, place};

  // A replaced file keeps its owner and group where the process may set
  // them, and its permissions; a new one gets the umask's.
  const auto takeOver = [&](int fd) {
    if (targetFacts.kind == PathFacts::Kind::Missing) return;
    if (::fchown(fd, target.st_uid, target.st_gid) != 0) (void)::fchown(fd, ::geteuid(), target.st_gid);
    ::fchmod(fd, target.st_mode & 07777);
  };
  if (unnamedTemporaries_) {
    UniqueFd fd(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd) {
      takeOver(fd.get());
      return {std::make_unique<HostReplacementFile>(std::move(fd), std::string(), *host, -1), {}};
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
      return {nullptr, lastSystemFailure()};
  }
  UniqueFd fd;
  std::string temp;
  int slot = -1;
  const IoStatus made = createBeside(
      *host,
      [&fd](const std::string& name) {
        fd.reset(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        return fd ? 0 : -1;
      },
      temp, slot);
  if (!made) return {nullptr, made};
  takeOver(fd.get());
  return {std::make_unique<HostReplacementFile>(std::move(fd), std::move(temp), *host, slot), {}};
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
