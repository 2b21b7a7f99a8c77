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

#include "speed/memory_source.h"

namespace vellora::cli {
namespace {

constexpr std::size_t kChunk = std::size_t{128} << 10;

IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }

// The held bytes as the scan sees them: while the stream goes on, its end is
// unknown, so no chunk can yet run past it.
class HeldBytes final : public ByteSource {
 public:
  HeldBytes(std::span<const std::byte> bytes, std::uint64_t size) : memory_(bytes), size_(size) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    return memory_.readAt(offset, into);
  }
  std::uint64_t size() const override { return size_; }

 private:
  MemorySource memory_;
  std::uint64_t size_;
};

// Lets the core's patch write into the held bytes.
class HeldReplacement final : public ReplacementFile {
 public:
  explicit HeldReplacement(std::vector<std::byte>& bytes) : bytes_(bytes) {}
  IoStatus copyFrom(InputFile&, const CopyProgress&) override {
    return IoStatus::failure("a stream is not copied whole");
  }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset)
      return IoStatus::failure("the format chunk lies past the bytes read");
    std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
    return {};
  }
  IoStatus commit(Existing) override { return {}; }

 private:
  std::vector<std::byte>& bytes_;
};

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

StreamHead readStreamHead(int fd, std::uint64_t knownSize) {
  StreamHead head;
  bool ended = false;
  for (;;) {
    const std::uint64_t size =
        knownSize != 0 ? knownSize : ended ? head.bytes.size() : std::numeric_limits<std::uint64_t>::max();
    HeldBytes source(head.bytes, size);
    head.scan = scanHeader(source);
    if (head.scan.end != ScanEnd::ShortFile || ended) return head;
    if (head.bytes.size() >= kMaxStreamHead) {
      head.readStatus = IoStatus::failure("no format chunk in its first 16 MiB");
      return head;
    }
    const std::size_t held = head.bytes.size();
    head.bytes.resize(held + kChunk);
    const ssize_t n = readSome(fd, head.bytes.data() + held, kChunk);
    head.bytes.resize(held + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n < 0) {
      head.readStatus = systemFailure(errno);
      return head;
    }
    ended = n == 0;
  }
}

IoStatus patchHead(StreamHead& head, const FormatBody& scaled) {
  HeldReplacement held(head.bytes);
  return patchFormat(held, head.scan, scaled);
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
