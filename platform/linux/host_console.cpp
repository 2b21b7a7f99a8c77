#include "platform/console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/linux/unique_fd.h"

namespace vellora {
namespace {

IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }

// At most 1 GiB per call, as Linux moves no more at once anyway.
std::size_t callSize(std::size_t count) { return std::min<std::size_t>(count, std::size_t{1} << 30); }

class FdStream final : public StreamEnd {
 public:
  // `owned` is empty for a standard descriptor, which stays open until exit.
  FdStream(int fd, UniqueFd owned, bool closedAtStart)
      : fd_(fd), owned_(std::move(owned)), closedAtStart_(closedAtStart) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) startLength_ = static_cast<off_t>(st.st_size);
  }

  ByteSource::Read readSome(std::span<std::byte> into) override {
    if (closedAtStart_) return {0, systemFailure(EBADF)};
    for (;;) {
      const ssize_t n = ::read(fd_, into.data(), callSize(into.size()));
      if (n >= 0) return {static_cast<std::size_t>(n), {}};
      if (errno != EINTR) return {0, systemFailure(errno)};
    }
  }

  IoStatus writeAll(std::span<const std::byte> bytes) override {
    if (closedAtStart_) return systemFailure(EBADF);
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), callSize(bytes.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return systemFailure(errno);
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
  }

  bool isTerminal() const override { return ::isatty(fd_) == 1; }
  bool wasClosed() const override { return closedAtStart_; }

  std::optional<std::uint64_t> regularFileRest() const override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at >= 0 && at < st.st_size ? static_cast<std::uint64_t>(st.st_size - at) : 0;
  }

  bool sameFileAs(const StreamEnd& other) const override {
    const auto* fd = dynamic_cast<const FdStream*>(&other);
    struct stat first {}, second {};
    return fd && ::fstat(fd_, &first) == 0 && ::fstat(fd->fd_, &second) == 0 && S_ISREG(first.st_mode) &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }

  bool undoWrites() override { return startLength_ && ::ftruncate(fd_, *startLength_) == 0; }

  int fd() const { return fd_; }

 private:

  int fd_;
  UniqueFd owned_;
  bool closedAtStart_;
  std::optional<off_t> startLength_;
};

// True for the errors with which the kernel says it cannot move data
// between these two ends at all, so that read/write must.
bool notAtTheseEnds(int error) {
  return error == EINVAL || error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EBADF ||
         error == EPERM;
}

// Gives a closed standard descriptor /dev/null; true when it was closed.
bool reopenIfClosed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
  // The lowest free number is `fd` itself, since every lower one is open.
  const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  if (opened >= 0 && opened != fd) {
    ::dup2(opened, fd);
    ::close(opened);
  }
  return true;
}

std::unique_ptr<StreamEnd> standardStream(int fd) {
  const bool closed = reopenIfClosed(fd);
  return std::make_unique<FdStream>(fd, UniqueFd(), closed);
}

// The console on file descriptors 0, 1 and 2.
class HostConsole final : public Console {
 public:
  HostConsole() : Console(standardStream(0), standardStream(1), standardStream(2)) {}
  Opened<StreamEnd> openForReading(const std::string& hostPath) override;
  // copy_file_range between regular files, splice where a pipe is at either end.
  std::optional<StreamMove> moveInSystem(StreamEnd& from, StreamEnd& to,
                                         std::optional<std::uint64_t> limit) override;
  const HostWords& words() const override;
};

Opened<StreamEnd> HostConsole::openForReading(const std::string& hostPath) {
  // A FIFO is a stream like any other; O_NONBLOCK is not set, so it waits for its writer.
  UniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd) return {nullptr, systemFailure(errno)};
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
    return {nullptr, IoStatus::failure("it is a directory")};
  const int raw = fd.get();
  return {std::make_unique<FdStream>(raw, std::move(fd), false), {}};
}

std::optional<StreamMove> HostConsole::moveInSystem(StreamEnd& from, StreamEnd& to,
                                                    std::optional<std::uint64_t> limit) {
  const auto* in = dynamic_cast<FdStream*>(&from);
  const auto* out = dynamic_cast<FdStream*>(&to);
  struct stat inStat {}, outStat {};
  if (!in || !out || ::fstat(in->fd(), &inStat) != 0 || ::fstat(out->fd(), &outStat) != 0)
    return std::nullopt;
  const bool pipe = S_ISFIFO(inStat.st_mode) || S_ISFIFO(outStat.st_mode);
  const bool files = S_ISREG(inStat.st_mode) && S_ISREG(outStat.st_mode);
  if (!pipe && !files) return std::nullopt;
  StreamMove result;
  result.method = files ? "kernel copy" : "splice";
  constexpr std::size_t kStep = std::size_t{1} << 20;
  for (bool moved = false;;) {
    const std::size_t step = limit ? static_cast<std::size_t>(std::min<std::uint64_t>(kStep, *limit)) : kStep;
    if (step == 0) return result;
    const ssize_t n = files ? ::copy_file_range(in->fd(), nullptr, out->fd(), nullptr, step, 0)
                            : ::splice(in->fd(), nullptr, out->fd(), nullptr, step, SPLICE_F_MOVE);
    if (n > 0) {
      moved = true;
      if (limit) *limit -= static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) return result;
    if (errno == EINTR) continue;
    if (!moved && notAtTheseEnds(errno)) return std::nullopt;
    // The kernel does not say which end failed; a device error is the reader's.
    result.inputFailed = errno == EIO;
    result.status = systemFailure(errno);
    return result;
  }
}

const HostWords& HostConsole::words() const {
  static const HostWords words{
      .defaultOutputDirectory = "C:\\temp\\vellora\\ on the drive map: ~/temp/vellora unless "
                                "VELLORA_DRIVE_C names another drive C:",
      .player = "the desktop's player (never Vellora)",
      .noPlayerHint = "no application but Vellora opens its type",
      .moreHelp = "See vellora-cli(1) for more.",
  };
  return words;
}

}  // namespace

std::unique_ptr<Console> openConsole() { return std::make_unique<HostConsole>(); }

}  // namespace vellora
