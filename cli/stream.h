#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/console.h"
#include "shellfiles/io_status.h"
#include "speed/scan_input.h"

namespace vellora::cli {

// A stream end read once from where it stands, for the core's stream change.
// A regular file is read no further than `limit`, what was left of it when
// the stream began, so that even output appended to it comes to an end.
class StreamEndReader final : public ByteStream {
 public:
  StreamEndReader(StreamEnd& end, std::optional<std::uint64_t> limit) : end_(end), left_(limit) {}
  ByteSource::Read readSome(std::span<std::byte> into) override;
  // What is left to read within the limit; nullopt where there is none.
  std::optional<std::uint64_t> left() const { return left_; }

 private:
  StreamEnd& end_;
  std::optional<std::uint64_t> left_;
};

// A stream end written to, for the core's stream change.
class StreamEndWriter final : public ByteSink {
 public:
  explicit StreamEndWriter(StreamEnd& end) : end_(end) {}
  IoStatus writeAll(std::span<const std::byte> bytes) override { return end_.writeAll(bytes); }

 private:
  StreamEnd& end_;
};

// Takes everything, for a dry run.
class DiscardingSink final : public ByteSink {
 public:
  IoStatus writeAll(std::span<const std::byte>) override { return {}; }
};

// Moves the rest of `in`, no more than `limit` bytes when there is one, to
// `out`: inside the system where the console can, by reads and writes where
// it cannot.
StreamMove writeRest(StreamEnd& in, std::optional<std::uint64_t> limit, StreamEnd& out, Console& console);

}  // namespace vellora::cli
