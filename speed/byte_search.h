#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vellora {

// Where in `bytes` the first byte `first` stands that `second` follows, or
// that is the last byte; bytes.size() when none. A FLAC scan looks for its
// frames' two-byte sync code so, many bytes a step.
std::size_t findBytePair(std::span<const std::uint8_t> bytes, std::uint8_t first, std::uint8_t second);

}  // namespace vellora
