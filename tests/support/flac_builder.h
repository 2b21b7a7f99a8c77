#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellora::test {

// FLAC's CRCs computed bit by bit, the plain way, to check the planner's own.
std::uint8_t referenceCrc8(std::string_view bytes);
// `crc` goes on from the CRC-16 of the bytes before.
std::uint16_t referenceCrc16(std::string_view bytes, std::uint16_t crc = 0);

struct StreamInfo {
  std::uint16_t minBlockSize = 4096;
  std::uint16_t maxBlockSize = 4096;
  std::uint32_t rate = 44100;
  unsigned channels = 2;
  unsigned bitsPerSample = 16;
  std::uint64_t totalSamples = 0;
  // The 34 bytes of the block's body; the MD5 is a recognisable pattern.
  std::string body() const;
};

// One frame. Codes left unset are those a writer would choose: a common code
// where there is one, else the shortest field.
struct Frame {
  std::uint64_t number = 0;  // the frame number, or the first sample's with variable block sizes
  std::uint32_t blockSize = 4096;
  std::optional<std::uint8_t> blockSizeCode = std::nullopt;
  std::uint32_t rate = 44100;
  std::optional<std::uint8_t> rateCode = std::nullopt;
  std::uint8_t channelsCode = 1;  // stereo
  std::uint8_t bitsCode = 4;      // 16 bits
  std::string subframes = {};     // what follows the header, up to the CRC-16
};

// Subframes: one constant subframe a channel, or one verbatim subframe of 8-bit samples.
std::string constantSubframes(unsigned channels, unsigned bitsPerSample, std::uint32_t value);
std::string verbatim8(std::string_view samples);

// An APEv2 tag with one item, its header and its footer, as taggers append it.
std::string apeTag();

// The header (with its CRC-8), the subframes and the CRC-16.
std::string frameBytes(const Frame& frame, bool variableBlockSize = false);
// The frame's header alone, CRC-8 included.
std::string frameHeader(const Frame& frame, bool variableBlockSize = false);

// Builds a native FLAC stream: "fLaC", STREAMINFO, other metadata blocks, frames.
class FlacBuilder {
 public:
  explicit FlacBuilder(const StreamInfo& info = {}, bool variableBlockSize = false);

  FlacBuilder& id3v2(std::size_t bodyBytes);  // before "fLaC"
  FlacBuilder& block(std::uint8_t type, std::string_view body);
  FlacBuilder& frame(const Frame& frame);
  // `count` stereo frames of `blockSize` samples at the stream's rate, numbered on from `first`.
  FlacBuilder& frames(std::size_t count, std::uint32_t blockSize = 4096, std::uint64_t first = 0);
  FlacBuilder& raw(std::string_view bytes);  // after the frames

  std::string bytes() const;  // the last metadata block flagged as last

  const StreamInfo& info() const { return info_; }

 private:
  StreamInfo info_;
  bool variable_;
  std::string id3_;
  std::string blocks_;
  std::size_t lastBlockAt_ = 0;
  std::string frames_;
};

}  // namespace vellora::test
