#include "support/flac_builder.h"

#include <array>

namespace vellora::test {

std::uint8_t referenceCrc8(std::string_view bytes) {
  unsigned crc = 0;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) & 0xFF : (crc << 1) & 0xFF;
  }
  return static_cast<std::uint8_t>(crc);
}

std::uint16_t referenceCrc16(std::string_view bytes, std::uint16_t start) {
  unsigned crc = start;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned>(static_cast<unsigned char>(c)) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) & 0xFFFF : (crc << 1) & 0xFFFF;
  }
  return static_cast<std::uint16_t>(crc);
}

namespace {

// Big-endian, the low `bytes` bytes of `value`.
std::string be(std::uint64_t value, int bytes) {
  std::string out;
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

std::string codedNumber(std::uint64_t n) {
  if (n < 0x80) return std::string(1, static_cast<char>(n));
  int bytes = 2;
  while (bytes < 7 && n >= (std::uint64_t{1} << (5 * bytes + 1))) ++bytes;
  std::string out(static_cast<std::size_t>(bytes), '\0');
  for (int i = bytes - 1; i > 0; --i, n >>= 6) out[static_cast<std::size_t>(i)] = static_cast<char>(0x80 | (n & 0x3F));
  out[0] = static_cast<char>(((0xFF00 >> bytes) & 0xFF) | n);
  return out;
}

constexpr std::array<std::uint32_t, 12> kCodedRates = {0,     88200, 176400, 192000, 8000,  16000,
                                                       22050, 24000, 32000,  44100,  48000, 96000};

std::uint8_t writerRateCode(std::uint32_t rate) {
  for (std::uint8_t code = 1; code < kCodedRates.size(); ++code)
    if (kCodedRates[code] == rate) return code;
  if (rate % 1000 == 0 && rate <= 255000) return 0xC;
  if (rate % 10 == 0 && rate <= 655350) return 0xE;
  if (rate <= 0xFFFF) return 0xD;
  return 0;
}

std::uint8_t writerBlockSizeCode(std::uint32_t size) {
  if (size == 192) return 1;
  for (std::uint8_t code = 2; code <= 5; ++code)
    if (size == (144U << code)) return code;
  for (std::uint8_t code = 8; code <= 15; ++code)
    if (size == (1U << code)) return code;
  return size <= 256 ? 6 : 7;
}

}  // namespace

std::string StreamInfo::body() const {
  std::string out = be(minBlockSize, 2) + be(maxBlockSize, 2) + be(0, 3) + be(0, 3);
  const std::uint64_t packed = std::uint64_t{rate} << 44 | std::uint64_t{channels - 1} << 41 |
                               std::uint64_t{bitsPerSample - 1} << 36 | totalSamples;
  out += be(packed, 8);
  for (int i = 0; i < 16; ++i) out += static_cast<char>(0xA0 + i);
  return out;
}

std::string constantSubframes(unsigned channels, unsigned bitsPerSample, std::uint32_t value) {
  std::string out;
  for (unsigned c = 0; c < channels; ++c) out += '\0' + be(value, static_cast<int>(bitsPerSample / 8));
  return out;
}

std::string verbatim8(std::string_view samples) { return '\x02' + std::string(samples); }

std::string apeTag() {
  const std::string item = std::string("\x05\0\0\0\0\0\0\0Title\0Tests", 19);
  const auto part = [&](std::uint32_t flags) {
    std::string out = "APETAGEX" + std::string("\xD0\x07\0\0", 4);
    for (const std::uint32_t v : {std::uint32_t(item.size() + 32), 1U, flags})
      for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
    return out + std::string(8, '\0');
  };
  return part(0xA0000000) + item + part(0x80000000);
}

std::string frameHeader(const Frame& frame, bool variableBlockSize) {
  const std::uint8_t sizeCode = frame.blockSizeCode.value_or(writerBlockSizeCode(frame.blockSize));
  const std::uint8_t rateCode = frame.rateCode.value_or(writerRateCode(frame.rate));
  std::string h = {'\xFF', static_cast<char>(variableBlockSize ? 0xF9 : 0xF8),
                   static_cast<char>(sizeCode << 4 | rateCode),
                   static_cast<char>(frame.channelsCode << 4 | frame.bitsCode << 1)};
  h += codedNumber(frame.number);
  if (sizeCode == 6) h += be(frame.blockSize - 1, 1);
  if (sizeCode == 7) h += be(frame.blockSize - 1, 2);
  if (rateCode == 0xC) h += be(frame.rate / 1000, 1);
  if (rateCode == 0xD) h += be(frame.rate, 2);
  if (rateCode == 0xE) h += be(frame.rate / 10, 2);
  return h + static_cast<char>(referenceCrc8(h));
}

std::string frameBytes(const Frame& frame, bool variableBlockSize) {
  const std::string f = frameHeader(frame, variableBlockSize) + frame.subframes;
  return f + be(referenceCrc16(f), 2);
}

FlacBuilder::FlacBuilder(const StreamInfo& info, bool variableBlockSize)
    : info_(info), variable_(variableBlockSize) {
  block(0, info.body());
}

FlacBuilder& FlacBuilder::id3v2(std::size_t bodyBytes) {
  id3_ = std::string("ID3\x04\x00\x00", 6);
  for (int shift = 21; shift >= 0; shift -= 7) id3_ += static_cast<char>((bodyBytes >> shift) & 0x7F);
  id3_ += std::string(bodyBytes, '\0');
  return *this;
}

FlacBuilder& FlacBuilder::block(std::uint8_t type, std::string_view body) {
  lastBlockAt_ = blocks_.size();
  blocks_ += static_cast<char>(type) + be(body.size(), 3) + std::string(body);
  return *this;
}

FlacBuilder& FlacBuilder::frame(const Frame& f) {
  frames_ += frameBytes(f, variable_);
  return *this;
}

FlacBuilder& FlacBuilder::frames(std::size_t count, std::uint32_t blockSize, std::uint64_t first) {
  for (std::size_t i = 0; i < count; ++i) {
    Frame f;
    f.number = variable_ ? (first + i) * blockSize : first + i;
    f.blockSize = blockSize;
    f.rate = info_.rate;
    f.subframes = constantSubframes(2, 16, static_cast<std::uint32_t>(0x1234 + i));
    frame(f);
  }
  return *this;
}

FlacBuilder& FlacBuilder::raw(std::string_view bytes) {
  frames_ += bytes;
  return *this;
}

std::string FlacBuilder::bytes() const {
  std::string blocks = blocks_;
  blocks[lastBlockAt_] = static_cast<char>(blocks[lastBlockAt_] | '\x80');
  return id3_ + "fLaC" + blocks + frames_;
}

}  // namespace vellora::test
