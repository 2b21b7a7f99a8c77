#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/console.h"
#include "shellfiles/io_status.h"
#include "speed/wav_header.h"

namespace vellora::cli {

// The front of a WAV stream, held in memory only as far as the format chunk
// (and whatever the last read brought beyond it), with the scan over it.
struct StreamHead {
  std::vector<std::byte> bytes;
  HeaderScan scan;
  IoStatus readStatus;  // a failed read of the input
};

// The most a stream may hold before its format chunk: other chunks before it
// are kept in memory, and beyond this the stream is refused.
inline constexpr std::size_t kMaxStreamHead = std::size_t{16} << 20;

// Reads `in` until the scan has found the format chunk or cannot find one.
// `knownSize` is what is left of the input when it is a regular file, 0 otherwise.
StreamHead readStreamHead(StreamEnd& in, std::uint64_t knownSize);

// Scales the two rates in the held bytes with the core's own patch.
IoStatus patchHead(StreamHead& head, const FormatBody& scaled);

// Writes the held bytes, then the rest of `in`, to `out`: inside the system
// where the console can, by reads and writes where it cannot. A regular file
// is read only as far as it reached when its head was read, so that even
// output appended to the input itself comes to an end.
StreamMove writeStream(const StreamHead& head, StreamEnd& in, std::optional<std::uint64_t> knownSize,
                       StreamEnd& out, Console& console);

}  // namespace vellora::cli
