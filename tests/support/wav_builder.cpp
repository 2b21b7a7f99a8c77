#include "support/wav_builder.h"

namespace vellora::test {

std::string le16(std::uint16_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string le32(std::uint32_t v) {
  return le16(static_cast<std::uint16_t>(v & 0xFFFF)) + le16(static_cast<std::uint16_t>(v >> 16));
}

std::string be16(std::uint16_t v) {
  return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}
std::string be32(std::uint32_t v) {
  return be16(static_cast<std::uint16_t>(v >> 16)) + be16(static_cast<std::uint16_t>(v & 0xFFFF));
}

Format Format::pcm(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits) {
  const auto align = static_cast<std::uint16_t>(channels * bits / 8);
  return {1, channels, sampleRate, sampleRate * align, align, bits};
}

std::string Format::body(bool bigEndian) const {
  const auto u16 = bigEndian ? be16 : le16;
  const auto u32 = bigEndian ? be32 : le32;
  return u16(formatTag) + u16(channels) + u32(sampleRate) + u32(byteRate) + u16(blockAlign) +
         u16(bitsPerSample);
}

WavBuilder::WavBuilder(std::string_view riffId, std::string_view formatId)
    : bigEndian_(riffId == "RIFX") {
  head_ = std::string(riffId) + le32(0) + std::string(formatId);
}

WavBuilder& WavBuilder::riffSize(std::uint32_t size) {
  riffSize_ = size;
  return *this;
}

WavBuilder& WavBuilder::fmt(const Format& f, std::uint32_t size) {
  std::string body = f.body(bigEndian_);
  // Extension bytes of a longer format chunk (cbSize and beyond).
  for (std::uint32_t i = 16; i < size; ++i) body += static_cast<char>(0xE0 + i % 16);
  return chunk("fmt ", body);
}

WavBuilder& WavBuilder::chunk(std::string_view id, std::string_view body, bool pad) {
  body_ += std::string(id) + u32(static_cast<std::uint32_t>(body.size())) + std::string(body);
  if (pad && body.size() % 2 == 1) body_ += '\0';
  return *this;
}

WavBuilder& WavBuilder::chunkWithSize(std::string_view id, std::uint32_t size,
                                      std::string_view body) {
  body_ += std::string(id) + u32(size) + std::string(body);
  return *this;
}

WavBuilder& WavBuilder::data(std::size_t bytes) {
  std::string samples(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) samples[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return chunk("data", samples);
}

WavBuilder& WavBuilder::raw(std::string_view bytes) {
  body_ += bytes;
  return *this;
}

std::string WavBuilder::bytes() const {
  std::string file = head_ + body_;
  const std::uint32_t size = riffSize_.value_or(static_cast<std::uint32_t>(file.size() - 8));
  file.replace(4, 4, u32(size));
  return file;
}

std::string withRates(std::string file, std::int64_t formatPosition, std::uint32_t sampleRate,
                      std::uint32_t byteRate) {
  const auto u32 = file.starts_with("RIFX") ? be32 : le32;
  file.replace(static_cast<std::size_t>(formatPosition - 1 + 4), 8, u32(sampleRate) + u32(byteRate));
  return file;
}

std::string canonicalWav(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits,
                         std::size_t dataBytes) {
  return WavBuilder().fmt(Format::pcm(sampleRate, channels, bits)).data(dataBytes).bytes();
}

}  // namespace vellora::test
