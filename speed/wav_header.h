#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "shellfiles/file_system.h"

namespace vellora {

inline std::uint16_t read_u16le(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    std::to_integer<unsigned>(p[1]) << 8);
}
inline std::uint32_t read_u32le(const std::byte* p) {
  return static_cast<std::uint32_t>(read_u16le(p)) |
         static_cast<std::uint32_t>(read_u16le(p + 2)) << 16;
}
inline void write_u16le(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void write_u32le(std::byte* p, std::uint32_t v) {
  write_u16le(p, static_cast<std::uint16_t>(v & 0xFFFF));
  write_u16le(p + 2, static_cast<std::uint16_t>(v >> 16));
}

inline std::uint16_t read_u16be(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) << 8 |
                                    std::to_integer<unsigned>(p[1]));
}
inline std::uint32_t read_u32be(const std::byte* p) {
  return static_cast<std::uint32_t>(read_u16be(p)) << 16 |
         static_cast<std::uint32_t>(read_u16be(p + 2));
}
inline void write_u16be(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v >> 8);
  p[1] = static_cast<std::byte>(v & 0xFF);
}
inline void write_u32be(std::byte* p, std::uint32_t v) {
  write_u16be(p, static_cast<std::uint16_t>(v >> 16));
  write_u16be(p + 2, static_cast<std::uint16_t>(v & 0xFFFF));
}

// A "RIFX" file holds every size and format field big-endian; all others little-endian.
enum class ByteOrder { Little, Big };

inline std::uint16_t read_u16(const std::byte* p, ByteOrder order) {
  return order == ByteOrder::Big ? read_u16be(p) : read_u16le(p);
}
inline std::uint32_t read_u32(const std::byte* p, ByteOrder order) {
  return order == ByteOrder::Big ? read_u32be(p) : read_u32le(p);
}
inline void write_u16(std::byte* p, std::uint16_t v, ByteOrder order) {
  order == ByteOrder::Big ? write_u16be(p, v) : write_u16le(p, v);
}
inline void write_u32(std::byte* p, std::uint32_t v, ByteOrder order) {
  order == ByteOrder::Big ? write_u32be(p, v) : write_u32le(p, v);
}

// RIFF chunks are padded to an even length.
inline std::uint64_t padded(std::uint32_t size) { return std::uint64_t{size} + (size & 1U); }

using FourCC = std::array<char, 4>;

struct RiffHeader {
  FourCC id{};
  std::int32_t size = 0;
  FourCC format{};
  static constexpr std::size_t bytes = 12;
};

struct ChunkHeader {
  FourCC id{};
  std::int32_t size = 0;
  static constexpr std::size_t bytes = 8;
};

// The first 16 bytes of the "fmt " chunk's body, the only bytes ever patched.
struct FormatBody {
  std::int16_t formatTag = 0;
  std::int16_t channels = 0;
  std::int32_t sampleRate = 0;
  std::int32_t byteRate = 0;
  std::int16_t blockAlign = 0;
  std::int16_t bitsPerSample = 0;
  static constexpr std::size_t bytes = 16;

  static FormatBody decode(std::span<const std::byte, bytes> raw,
                           ByteOrder order = ByteOrder::Little);
  std::array<std::byte, bytes> encode(ByteOrder order = ByteOrder::Little) const;
  bool operator==(const FormatBody&) const = default;
};

// Why the chunk scan stopped.
enum class ScanEnd {
  FormatFound,
  ShortFile,         // fewer than 12 bytes, or the file ends before a format chunk
  DataBeforeFormat,  // a "data" chunk comes first
  ChunkPastEnd,      // a chunk's body runs past the end of the file
  FormatTooShort,    // the format chunk is too short to hold both rates
  ReadFailed,        // the system could not read the file
  Stopped,           // a failure was recorded before the scan, which looks at one chunk only
};

struct HeaderScan {
  RiffHeader riff;
  FormatBody format;
  // Byte number of the format body's first byte, counted from 1; 0 when none.
  std::int64_t formatPosition = 0;
  ScanEnd end = ScanEnd::ShortFile;
  ByteOrder order = ByteOrder::Little;
  int skippedChunks = 0;  // chunks passed over before the format chunk
  IoStatus readStatus;  // the read failure behind ScanEnd::ReadFailed

  bool found() const { return end == ScanEnd::FormatFound; }
};

// Walks the chunks from offset 12 until the "fmt " chunk, skipping every other
// chunk's padded body. With `failureRecorded`, looks at the first chunk only.
HeaderScan scanHeader(ByteSource& file, bool failureRecorded = false);

// A rate times the speed factor, rounded half to even; nullopt when it would
// fall outside 1 .. 2147483647.
std::optional<std::int32_t> scaledRate(std::int32_t rate, double factor);

// Both timing fields scaled, or nullopt (the body untouched) when either is out of range.
std::optional<FormatBody> scaleTiming(const FormatBody& body, double factor);

// Where the 16 patched bytes go in the file: the body's 0-based offset.
inline std::uint64_t bodyOffset(const HeaderScan& scan) {
  return static_cast<std::uint64_t>(scan.formatPosition - 1);
}

// Writes the 16-byte body at the scanned position.
IoStatus patchFormat(ReplacementFile& out, const HeaderScan& scan, const FormatBody& body);

std::string_view describe(ScanEnd end);

}  // namespace vellora
