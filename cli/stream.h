#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "shellfiles/io_status.h"
#include "speed/scan_input.h"

namespace vellora::cli {

// A descriptor read once from where it stands, for the core's stream change.
class FdStream final : public ByteStream {
 public:
  explicit FdStream(int fd) : fd_(fd) {}
  ByteSource::Read readSome(std::span<std::byte> into) override;

 private:
  int fd_;
};

// A descriptor written to, for the core's stream change.
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  IoStatus writeAll(std::span<const std::byte> bytes) override;

 private:
  int fd_;
};

// Takes everything, for a dry run.
class DiscardingSink final : public ByteSink {
 public:
  IoStatus writeAll(std::span<const std::byte>) override { return {}; }
};

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
