#pragma once

#include <algorithm>
#include <cstring>
#include <span>

#include "shellfiles/file_system.h"

namespace vellora {

// Bytes in memory as a ByteSource, for header checks without a file.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::byte> bytes) : bytes_(bytes) {}

  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    Read r;
    if (offset >= bytes_.size()) return r;
    r.count = static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), bytes_.size() - offset));
    std::memcpy(into.data(), bytes_.data() + offset, r.count);
    return r;
  }
  std::uint64_t size() const override { return bytes_.size(); }

 private:
  std::span<const std::byte> bytes_;
};

}  // namespace vellora
