#include "platform/linux/host_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <algorithm>
#include <memory>
#include <vector>

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

// A regular file opened for reading, or for reading and writing in place.
class HostInputFile final : public UpdatableFile {
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
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override;
  IoStatus flush() override { return ::fsync(fd_.get()) == 0 ? IoStatus{} : lastSystemFailure(); }
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

IoStatus HostInputFile::writeAt(std::uint64_t offset, std::span<const std::byte> bytes) {
  return writeAll(fd_.get(), bytes.data(), bytes.size(), offset);
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

// True when there is progress to tell and it asks the copy to stop.
bool stopAsked(const CopyProgress& progress, std::uint64_t done, std::uint64_t total) {
  return progress && !progress(done, total);
}

const IoStatus kShrank = IoStatus::failure("the input got shorter while it was being copied");
const IoStatus kResized = IoStatus::failure("the input changed length while it was being copied");

// Gives an unnamed file (O_TMPFILE) a name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  // Without /proc, the descriptor itself names the file (this needs privilege).
  return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
}

std::string temporaryName();

// The copy is written to an unnamed file where the file system allows it, so
// that nothing is left even when the process is killed; elsewhere to a hidden
// named file that a stopping signal removes (see leftover_guard.h).
class HostReplacementFile final : public ReplacementFile {
 public:
  HostReplacementFile(UniqueFd fd, std::string tempPath, std::string targetPath)
      : fd_(std::move(fd)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)) {
    if (!tempPath_.empty()) slot_ = rememberTemporary(tempPath_.c_str());
  }
  ~HostReplacementFile() override {
    if (!committed_) {
      fd_.reset();
      if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    }
    forgetTemporary(slot_);
  }

  IoStatus copyFrom(InputFile& source, const CopyProgress& progress) override {
    const std::uint64_t total = source.size();
    auto* host = dynamic_cast<HostInputFile*>(&source);
    if (stopAsked(progress, 0, total)) return IoStatus::cancelled();
    IoStatus copied = host ? kernelCopy(*host, total, progress) : bufferedCopy(source, 0, total, progress);
    if (!copied) return copied;
    if (host) {
      struct stat st {};
      if (::fstat(host->fd(), &st) != 0) return lastSystemFailure();
      if (static_cast<std::uint64_t>(st.st_size) != total) return kResized;
    }
    return {};
  }

  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    // Writing past the end leaves a gap that reads as zero bytes.
    return writeAll(fd_.get(), bytes.data(), bytes.size(), offset);
  }

  std::string copyMethod() const override { return copyMethod_; }
  void makeDurable() override { durable_ = true; }

  IoStatus commit(Existing existing) override {
    if (committed_) return {};
    if (durable_ && ::fsync(fd_.get()) != 0) return lastSystemFailure();
    if (tempPath_.empty() && existing == Existing::Keep) {
      // Linking the unnamed file straight to its name never replaces anything.
      const int rc = linkUnnamed(fd_.get(), targetPath_);
      const int error = errno;
      committed_ = true;  // an unnamed file vanishes when it closes
      if (fd_.close() != 0 && rc == 0) return lastSystemFailure();
      if (rc != 0)
        return error == EEXIST ? IoStatus::failure("the file exists already") : systemFailure(error);
      return durable_ ? syncDirectoryOf(targetPath_) : IoStatus{};
    }
    if (tempPath_.empty() && !nameUnnamed()) {
      const int error = errno;
      committed_ = true;
      return systemFailure(error);
    }
    if (fd_.close() != 0) return lastSystemFailure();
    const int rc = existing == Existing::Replace
                       ? ::rename(tempPath_.c_str(), targetPath_.c_str())
                       : ::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, targetPath_.c_str(),
                                     RENAME_NOREPLACE);
    if (rc != 0) {
      const int error = errno;
      ::unlink(tempPath_.c_str());
      committed_ = true;  // nothing left to remove
      return error == EEXIST ? IoStatus::failure("the file exists already") : systemFailure(error);
    }
    committed_ = true;
    return durable_ ? syncDirectoryOf(targetPath_) : IoStatus{};
  }

 private:
  // Links the unnamed copy to a hidden name beside its target, to be renamed
  // over it; the name is removed again if the process is stopped meanwhile.
  bool nameUnnamed() {
    const std::string directory = parentOf(targetPath_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temp = (directory == "/" ? std::string() : directory) + "/" + temporaryName();
      if (linkUnnamed(fd_.get(), temp) == 0) {
        tempPath_ = std::move(temp);
        slot_ = rememberTemporary(tempPath_.c_str());
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  IoStatus kernelCopy(HostInputFile& source, std::uint64_t total, const CopyProgress& progress) {
    // File systems that share extents (XFS, btrfs) clone the whole file at once.
    if (total > 0 && ::ioctl(fd_.get(), FICLONE, source.fd()) == 0) {
      copyMethod_ = "cloned";
      return stopAsked(progress, total, total) ? IoStatus::cancelled() : IoStatus{};
    }
    copyMethod_ = "kernel copy";
    bool copiedAny = false;
    // Only the data segments are copied, so that holes stay holes.
    for (std::uint64_t at = 0; at < total;) {
      const auto [begin, end] = nextDataSegment(source.fd(), at, total);
      if (begin >= total) break;
      for (std::uint64_t from = begin; from < end;) {
        // Without progress to report, one call asks for all that is left.
        const std::uint64_t step = progress ? std::min(kProgressStep, end - from) : end - from;
        loff_t in = static_cast<loff_t>(from), out = static_cast<loff_t>(from);
        const ssize_t n = ::copy_file_range(source.fd(), &in, fd_.get(), &out,
                                            static_cast<std::size_t>(std::min<std::uint64_t>(step, kLargestCall)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !copiedAny &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
             errno == EBADF || errno == EPERM))
          return bufferedCopy(source, 0, total, progress);
        if (n < 0) return lastSystemFailure();
        if (n == 0) return kShrank;
        copiedAny = true;
        from += static_cast<std::uint64_t>(n);
        if (stopAsked(progress, from, total)) return IoStatus::cancelled();
      }
      at = end;
    }
    struct stat now {};
    if (::fstat(source.fd(), &now) == 0 && static_cast<std::uint64_t>(now.st_size) < total)
      return kShrank;
    // A hole at the end has no data to copy, but it is part of the length.
    if (::ftruncate(fd_.get(), static_cast<off_t>(total)) != 0) return lastSystemFailure();
    return stopAsked(progress, total, total) ? IoStatus::cancelled() : IoStatus{};
  }

  IoStatus bufferedCopy(InputFile& source, std::uint64_t done, std::uint64_t total,
                        const CopyProgress& progress) {
    std::vector<std::byte> buffer(std::size_t{1} << 20);
    copyMethod_ = "read/write";
    while (done < total) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), total - done));
      ByteSource::Read r = source.readAt(done, std::span(buffer.data(), want));
      if (!r.status) return IoStatus::readFailure(r.status.reason());
      if (r.count == 0) return kShrank;
      if (IoStatus s = writeAll(fd_.get(), buffer.data(), r.count, done); !s) return s;
      done += r.count;
      if (stopAsked(progress, done, total)) return IoStatus::cancelled();
    }
    return {};
  }

  UniqueFd fd_;
  std::string tempPath_;
  std::string targetPath_;
  int slot_ = -1;
  bool committed_ = false;
  bool durable_ = false;
  std::string copyMethod_;
};

std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  char name[64];
  std::snprintf(name, sizeof name, ".vellora-%x-%x-%llx.tmp", static_cast<unsigned>(::getpid()),
                counter++, static_cast<unsigned long long>(now));
  return name;
}

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

}  // namespace

HostFileSystem::Temporaries temporariesFromEnvironment() {
  const char* value = std::getenv("VELLORA_TEMPORARY_FILES");
  return value && std::string_view(value) == "named" ? HostFileSystem::Temporaries::Named
                                                     : HostFileSystem::Temporaries::Unnamed;
}

HostFileSystem::HostFileSystem(DriveMap drives, Temporaries temporaries)
    : drives_(std::move(drives)), unnamedTemporaries_(temporaries == Temporaries::Unnamed) {}

namespace {

// The regular file at a path of the drive map, opened with `flags`;
// directories, devices and FIFOs are refused without waiting on them.
Opened<HostInputFile> openRegular(const DriveMap& drives, const std::string& path, int flags) {
  std::string why;
  const std::optional<std::string> host = drives.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  // O_NONBLOCK so that a FIFO fails below instead of waiting for a writer.
  UniqueFd fd(::open(host->c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return {nullptr, errno == EISDIR ? IoStatus::failure("it is a directory") : lastSystemFailure()};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return {nullptr, lastSystemFailure()};
  if (S_ISDIR(st.st_mode)) return {nullptr, IoStatus::failure("it is a directory")};
  if (!S_ISREG(st.st_mode)) return {nullptr, IoStatus::failure("it is not a regular file")};
  // Root could write it all the same; a file nobody may write stays unchanged.
  if ((flags & O_ACCMODE) != O_RDONLY && noWriteBits(st)) return {nullptr, IoStatus::failure("the file is read-only")};
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status >= 0) ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
  return {std::make_unique<HostInputFile>(std::move(fd), static_cast<std::uint64_t>(st.st_size)), {}};
}

}  // namespace

Opened<InputFile> HostFileSystem::openInput(const std::string& path) {
  Opened<HostInputFile> opened = openRegular(drives_, path, O_RDONLY);
  return {std::move(opened.file), opened.status};
}

Opened<UpdatableFile> HostFileSystem::openForUpdate(const std::string& path) {
  Opened<HostInputFile> opened = openRegular(drives_, path, O_RDWR);
  return {std::move(opened.file), opened.status};
}

Opened<ReplacementFile> HostFileSystem::createReplacement(const std::string& path) {
  std::string why;
  std::optional<std::string> host = drives_.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  // A link is written through: its target gets the new content, the link stays.
  host = followLinks(*host);

  struct stat target {};
  const bool targetExists = ::stat(host->c_str(), &target) == 0;
  if (targetExists) {
    if (S_ISDIR(target.st_mode)) return {nullptr, IoStatus::failure("it is a directory")};
    if (!S_ISREG(target.st_mode)) return {nullptr, IoStatus::failure("it is not a regular file")};
    if (noWriteBits(target) || ::access(host->c_str(), W_OK) != 0)
      return {nullptr, IoStatus::failure("the file is read-only")};
  }
  const std::string directory = parentOf(*host);
  struct stat dir {};
  if (::stat(directory.c_str(), &dir) != 0)
    return {nullptr, errno == ENOENT ? IoStatus::failure("its directory does not exist")
                                     : lastSystemFailure()};
  if (!S_ISDIR(dir.st_mode)) return {nullptr, IoStatus::failure("its directory is not a directory")};
  if (noWriteBits(dir)) return {nullptr, IoStatus::failure("its directory is read-only")};

  // A replaced file keeps its owner and group where the process may set
  // them, and its permissions; a new one gets the umask's.
  const auto takeOver = [&](int fd) {
    if (!targetExists) return;
    if (::fchown(fd, target.st_uid, target.st_gid) != 0) (void)::fchown(fd, ::geteuid(), target.st_gid);
    ::fchmod(fd, target.st_mode & 07777);
  };
  if (unnamedTemporaries_) {
    UniqueFd fd(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd) {
      takeOver(fd.get());
      return {std::make_unique<HostReplacementFile>(std::move(fd), std::string(), *host), {}};
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
      return {nullptr, lastSystemFailure()};
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = (directory == "/" ? std::string() : directory) + "/" + temporaryName();
    UniqueFd fd(::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd && errno == EEXIST) continue;
    if (!fd) return {nullptr, lastSystemFailure()};
    takeOver(fd.get());
    return {std::make_unique<HostReplacementFile>(std::move(fd), std::move(temp), *host), {}};
  }
  return {nullptr, IoStatus::failure("could not create a temporary file")};
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

  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
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
