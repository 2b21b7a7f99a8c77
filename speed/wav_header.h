#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "shellfiles/file_system.h"
#include "speed/bytes.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

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
  std::uint32_t formatSize = 0;  // the format chunk's size field
  int skippedChunks = 0;  // chunks passed over before the format chunk
  std::optional<std::uint64_t> dataSize64;  // the data chunk's size, as an RF64 file's ds64 chunk gives it
  IoStatus readStatus;  // the read failure behind ScanEnd::ReadFailed

  bool found() const { return end == ScanEnd::FormatFound; }
};

// Walks the chunks from 12 bytes past `start` (where an ID3v2 tag ends, if
// one comes first) until the "fmt " chunk, skipping every other
// chunk's padded body. With `failureRecorded`, looks at the first chunk only.
HeaderScan scanHeader(ScanInput& input, bool failureRecorded = false, std::uint64_t start = 0);
HeaderScan scanHeader(ByteSource& file, bool failureRecorded = false);

// A rate times the speed factor, rounded half to even; nullopt when it would
// fall outside 1 .. 2147483647.
std::optional<std::int32_t> scaledRate(std::int32_t rate, double factor);

// Both timing fields scaled, or nullopt (the body untouched) when either is
// out of range. `codec` is the format tag, or an extensible format's subformat:
// for plain PCM and float samples whose byte rate is the sample rate times
// the block align, it stays so exactly; other codecs' byte rates are scaled
// and rounded on their own.
std::optional<FormatBody> scaleTiming(const FormatBody& body, const RateChange& change,
                                      std::uint16_t codec);
inline std::optional<FormatBody> scaleTiming(const FormatBody& body, double factor) {
  return scaleTiming(body, RateChange{.factor = factor, .exactRate = {}},
                     static_cast<std::uint16_t>(body.formatTag));
}

// Where the 16 patched bytes go in the file: the body's 0-based offset.
inline std::uint64_t bodyOffset(const HeaderScan& scan) {
  return static_cast<std::uint64_t>(scan.formatPosition - 1);
}

// Writes the 16-byte body at the scanned position.
IoStatus patchFormat(ReplacementFile& out, const HeaderScan& scan, const FormatBody& body);

std::string_view describe(ScanEnd end);

// The six values the header log shows, as the scan read them.
AudioSummary summaryOf(const HeaderScan& scan);

// The codec of a format chunk whose body lies at `bodyAt`: its tag, or the
// first two bytes of an extensible format's subformat.
std::uint16_t codecOf(ScanInput& input, const FormatBody& body, std::uint64_t bodyAt,
                      std::uint32_t formatSize, ByteOrder order);

// Plans the change of a format body's two rates at `bodyAt` into `plan`,
// whose `before` is set: false, with the plan failed, when out of range.
bool planFormatBody(RatePlan& plan, const FormatBody& body, ByteOrder order, std::uint64_t bodyAt,
                    std::uint16_t codec, const RateChange& change);

// WAV, RIFX, RF64: the format chunk's sample rate and byte rate. A file
// without a format chunk is NotRecognised, with the scan's reason.
RatePlan planWav(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
