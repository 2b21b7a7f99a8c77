#include "platform/linux/replacement_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/linux/host_input_file.h"
#include "platform/linux/leftover_guard.h"
#include "platform/linux/leftover_temporaries.h"
#include "platform/linux/system_failure.h"

namespace vellora {
namespace {

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

// Gives an unnamed file (O_TMPFILE) a name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, int directory, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), directory, name, AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  // Without /proc, the descriptor itself names the file (this needs privilege).
  return ::linkat(fd, "", directory, name, AT_EMPTY_PATH);
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
    // A copy that replaces a file is flushed first even without --sync: XFS,
    // unlike ext4, does not do so on a rename over a file, and a power cut
    // could then leave the old name on an empty file.
    struct stat existingStat {};
    const bool replacing = existing == Existing::Replace &&
                           ::fstatat(directory, name_.c_str(), &existingStat, AT_SYMLINK_NOFOLLOW) == 0;
    if ((durable || replacing) && calls_->fsync(file_.get()) != 0) return lastSystemFailure();
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

Opened<ReplacementFile> makeReplacement(Destination where, bool unnamed, std::shared_ptr<const HostCalls> calls) {
  const int directory = where.directory.get();
  const bool replacing = where.target.kind != PathFacts::Kind::Missing;
  const struct stat target = where.targetStat;
  std::unique_ptr<HostReplacementFile> file;
  if (unnamed) {
    UniqueFd fd(::openat(directory, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd)
      file = std::make_unique<HostReplacementFile>(std::move(fd), std::move(where), std::string(), -1, calls);
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
                                                 calls);
  }
  // Before the copy, so that a file that cannot keep them costs none; the
  // replacement removes its temporary as it goes.
  if (replacing)
    if (IoStatus kept = file->takeOver(target); !kept) return {nullptr, kept};
  return {std::move(file), {}};
}

}  // namespace vellora
