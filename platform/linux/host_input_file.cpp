#include "platform/linux/host_input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/system_failure.h"

namespace vellora {

ByteSource::Read HostInputFile::readAt(std::uint64_t offset, std::span<std::byte> into) {
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

IoStatus HostInputFile::flush() { return calls_->fsync(fd_.get()) == 0 ? IoStatus{} : lastSystemFailure(); }

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

Opened<HostInputFile> openRegular(const DriveMap& drives, const std::string& path, int flags,
                                  std::shared_ptr<const HostCalls> calls) {
  std::string why;
  const std::optional<std::string> host = drives.toHost(path, &why);
  if (!host) return {nullptr, IoStatus::failure(why)};
  return openRegularAt(AT_FDCWD, host->c_str(), flags, std::move(calls));
}

Opened<HostInputFile> openRegularAt(int directory, const char* name, int flags,
                                    std::shared_ptr<const HostCalls> calls) {
  // O_NONBLOCK so that a FIFO fails below instead of waiting for a writer.
  UniqueFd fd(::openat(directory, name, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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

}  // namespace vellora
