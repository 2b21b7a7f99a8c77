#pragma once

#include <cstdint>
#include <span>

namespace vellora {

// FLAC's CRC-8 (x^8+x^2+x+1), of a frame header, and CRC-16 (x^16+x^15+x^2+1),
// of a whole frame: both most significant bit first, starting from 0, with no
// final xor.
std::uint8_t flacCrc8(std::span<const std::uint8_t> bytes);

// The CRC-16 of the bytes that gave `crc`, followed by `bytes`.
std::uint16_t flacCrc16(std::uint16_t crc, std::span<const std::uint8_t> bytes);

// The CRC-16 of the bytes that gave `crc`, followed by `zeros` zero bytes, in
// a few steps however many: what a change at a frame's start does to its CRC.
std::uint16_t flacCrc16AppendZeros(std::uint16_t crc, std::uint64_t zeros);

}  // namespace vellora
