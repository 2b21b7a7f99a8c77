#include "cli/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>


namespace vellora::cli {
namespace {

constexpr std::size_t kChunk = std::size_t{128} << 10;

IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }

// At most 1 GiB per call, in the count type of the C library's read and
// write (unsigned int on Windows).
auto ioCount(std::size_t count) {
#ifdef _WIN32
  using Count = unsigned int;
#else
  using Count = std::size_t;
#endif
  return static_cast<Count>(std::min<std::size_t>(count, std::size_t{1} << 30));
}

// Reads once, retrying interruptions; -1 with errno on failure.
ssize_t readSome(int fd, std::byte* into, std::size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd, into, ioCount(count));
    if (n >= 0 || errno != EINTR) return n;
  }
}

IoStatus writeAll(int fd, const std::byte* data, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, data, ioCount(count));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemFailure(errno);
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return {};
}

#ifdef __linux__
// Moves the rest in the kernel when the ends allow it; `moved` is false when
// they do not and nothing was moved, so that read/write can take over.
StreamCopy kernelStream(int in, int out, bool& moved) {
  StreamCopy result;
  moved = false;
  struct stat inStat {}, outStat {};
  if (::fstat(in, &inStat) != 0 || ::fstat(out, &outStat) != 0) return result;
  const bool pipe = S_ISFIFO(inStat.st_mode) || S_ISFIFO(outStat.st_mode);
  const bool files = S_ISREG(inStat.st_mode) && S_ISREG(outStat.st_mode);
  if (!pipe && !files) return result;
  result.method = files ? "kernel copy" : "splice";
  for (;;) {
    const ssize_t n = files ? ::copy_file_range(in, nullptr, out, nullptr, kChunk * 8, 0)
                            : ::splice(in, nullptr, out, nullptr, kChunk * 8, SPLICE_F_MOVE);
    if (n > 0) {
      moved = true;
      continue;
    }
    if (n == 0) return result;
    if (errno == EINTR) continue;
    if (!moved && (errno == EINVAL || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                   errno == EBADF || errno == EPERM))
      return result;  // not at these ends: read/write instead
    moved = true;
    // The kernel does not say which end failed; a device error is the reader's.
    result.inputFailed = errno == EIO;
    result.status = systemFailure(errno);
    return result;
  }
}
#endif

}  // namespace

ByteSource::Read FdStream::readSome(std::span<std::byte> into) {
  ByteSource::Read r;
  const ssize_t n = vellora::cli::readSome(fd_, into.data(), into.size());
  if (n < 0)
    r.status = systemFailure(errno);
  else
    r.count = static_cast<std::size_t>(n);
  return r;
}

IoStatus FdSink::writeAll(std::span<const std::byte> bytes) {
  return vellora::cli::writeAll(fd_, bytes.data(), bytes.size());
}

StreamCopy writeStream(std::span<const std::byte> bytes, int in, int out) {
  StreamCopy result;
  if (IoStatus s = writeAll(out, bytes.data(), bytes.size()); !s) {
    result.status = s;
    return result;
  }
#ifdef __linux__
  bool moved = false;
  result = kernelStream(in, out, moved);
  if (moved || !result.status) return result;
#endif
  result.method = "read/write";
  // Page-aligned, as the kernel copies into and out of it much faster so.
  struct alignas(4096) Buffer {
    std::byte bytes[kChunk];
  };
  const auto held = std::make_unique<Buffer>();
  const std::span<std::byte> buffer(held->bytes);
  for (;;) {
    const ssize_t n = readSome(in, buffer.data(), buffer.size());
    if (n == 0) return result;
    if (n < 0) {
      result.status = systemFailure(errno);
      result.inputFailed = true;
      return result;
    }
    if (IoStatus s = writeAll(out, buffer.data(), static_cast<std::size_t>(n)); !s) {
      result.status = s;
      return result;
    }
  }
}

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

void useBinaryStandardStreams() {
#ifdef _WIN32
  // Text mode would turn every 0x0A byte of the audio into 0x0D 0x0A.
  ::_setmode(0, _O_BINARY);
  ::_setmode(1, _O_BINARY);
#endif
}

std::uint64_t regularFileSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  return at >= 0 && at < st.st_size ? static_cast<std::uint64_t>(st.st_size - at) : 0;
}

bool sameFile(int a, int b) {
#ifdef _WIN32
  // Windows has no inode numbers in stat; its host may compare file indexes.
  (void)a;
  (void)b;
  return false;
#endif
  struct stat first {}, second {};
  return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && S_ISREG(first.st_mode) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int openForReading(const std::string& path, std::string& why) {
#ifdef _WIN32
  const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY);
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) why = std::strerror(errno);
  return fd;
}

}  // namespace vellora::cli
