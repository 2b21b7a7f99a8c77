#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/linux/drive_map.h"
#include "platform/linux/host_file_system.h"
#include "platform/linux/unique_fd.h"

namespace vellora {

// A regular file opened for reading, or for reading and writing in place.
class HostInputFile final : public UpdatableFile {
 public:
  HostInputFile(UniqueFd fd, std::uint64_t size, std::shared_ptr<const HostCalls> calls)
      : fd_(std::move(fd)), size_(size), calls_(std::move(calls)) {}

  Read readAt(std::uint64_t offset, std::span<std::byte> into) override;
  std::uint64_t size() const override { return size_; }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override;
  IoStatus flush() override;
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
  std::uint64_t size_;
  std::shared_ptr<const HostCalls> calls_;
};

// Writes all of `count` bytes at `offset`, through interruptions and short writes.
IoStatus writeAll(int fd, const std::byte* data, std::size_t count, std::uint64_t offset);

// The regular file at a path of the drive map, opened with `flags`;
// directories, devices and FIFOs are refused without waiting on them.
Opened<HostInputFile> openRegular(const DriveMap& drives, const std::string& path, int flags,
                                  std::shared_ptr<const HostCalls> calls);
// The same for `name` in the open `directory`.
Opened<HostInputFile> openRegularAt(int directory, const char* name, int flags,
                                    std::shared_ptr<const HostCalls> calls);

}  // namespace vellora
