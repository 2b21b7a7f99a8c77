#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace vellora {

// Fixed-width fields of file headers, read and written byte by byte, never
// by casting a pointer onto file bytes.

// The readers take std::byte and std::uint8_t alike: FLAC's CRCs run on the latter.
inline unsigned octet(std::byte b) { return std::to_integer<unsigned>(b); }
inline unsigned octet(std::uint8_t b) { return b; }

template <class Octet>
std::uint16_t read_u16le(const Octet* p) {
  return static_cast<std::uint16_t>(octet(p[0]) | octet(p[1]) << 8);
}
template <class Octet>
std::uint32_t read_u32le(const Octet* p) {
  return static_cast<std::uint32_t>(read_u16le(p)) | static_cast<std::uint32_t>(read_u16le(p + 2)) << 16;
}
template <class Octet>
std::uint64_t read_u64le(const Octet* p) {
  return static_cast<std::uint64_t>(read_u32le(p)) | static_cast<std::uint64_t>(read_u32le(p + 4)) << 32;
}
inline void write_u16le(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void write_u32le(std::byte* p, std::uint32_t v) {
  write_u16le(p, static_cast<std::uint16_t>(v & 0xFFFF));
  write_u16le(p + 2, static_cast<std::uint16_t>(v >> 16));
}

template <class Octet>
std::uint16_t read_u16be(const Octet* p) {
  return static_cast<std::uint16_t>(octet(p[0]) << 8 | octet(p[1]));
}
template <class Octet>
std::uint32_t read_u24be(const Octet* p) {
  return std::uint32_t{octet(p[0])} << 16 | std::uint32_t{read_u16be(p + 1)};
}
template <class Octet>
std::uint32_t read_u32be(const Octet* p) {
  return static_cast<std::uint32_t>(read_u16be(p)) << 16 | static_cast<std::uint32_t>(read_u16be(p + 2));
}
template <class Octet>
std::uint64_t read_u64be(const Octet* p) {
  return static_cast<std::uint64_t>(read_u32be(p)) << 32 | static_cast<std::uint64_t>(read_u32be(p + 4));
}
inline void write_u16be(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v >> 8);
  p[1] = static_cast<std::byte>(v & 0xFF);
}
inline void write_u32be(std::byte* p, std::uint32_t v) {
  write_u16be(p, static_cast<std::uint16_t>(v >> 16));
  write_u16be(p + 2, static_cast<std::uint16_t>(v & 0xFFFF));
}
inline void write_u64be(std::byte* p, std::uint64_t v) {
  write_u32be(p, static_cast<std::uint32_t>(v >> 32));
  write_u32be(p + 4, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
}

// Whether `bytes` hold the identifier `id` (a chunk's four letters, a magic
// number, a GUID) at `offset`.
inline bool hasId(std::span<const std::byte> bytes, std::size_t offset, std::string_view id) {
  return bytes.size() >= offset && bytes.size() - offset >= id.size() &&
         std::memcmp(bytes.data() + offset, id.data(), id.size()) == 0;
}

// IEEE 754 doubles stored big-endian, as CAF keeps its sample rate.
inline double read_f64be(const std::byte* p) { return std::bit_cast<double>(read_u64be(p)); }
inline void write_f64be(std::byte* p, double v) { write_u64be(p, std::bit_cast<std::uint64_t>(v)); }

}  // namespace vellora
