#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

// Reads `fd` until the scan has found the format chunk or cannot find one.
// `knownSize` is the input's length when it is a regular file, 0 otherwise.
StreamHead readStreamHead(int fd, std::uint64_t knownSize);

// Scales the two rates in the held bytes with the core's own patch.
IoStatus patchHead(StreamHead& head, const FormatBody& scaled);

struct StreamCopy {
  IoStatus status;
  bool inputFailed = false;  // the failure is the input's, not the output's
  std::string method;        // "kernel copy", "splice" or "read/write"
};

// Writes `bytes`, then everything left in `in`, to `out`.
StreamCopy writeStream(std::span<const std::byte> bytes, int in, int out);

// The host's calls behind the stream, which another host may replace.
bool isTerminal(int fd);
// Standard input and output carry bytes unchanged (a no-op where they always do).
void useBinaryStandardStreams();
// What is left to read of a regular file open on `fd`, 0 for anything else.
std::uint64_t regularFileSize(int fd);
// True when both descriptors are open on one regular file.
bool sameFile(int a, int b);
// A descriptor open for reading, or -1 with the system's reason in `why`.
int openForReading(const std::string& path, std::string& why);

}  // namespace vellora::cli
