#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellora::test {

// Field writers for byte-level fixtures: little-endian, and big-endian as in RIFX files.
std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);
std::string be16(std::uint16_t v);
std::string be32(std::uint32_t v);

struct Format {
  std::uint16_t formatTag = 1;
  std::uint16_t channels = 2;
  std::uint32_t sampleRate = 44100;
  std::uint32_t byteRate = 176400;
  std::uint16_t blockAlign = 4;
  std::uint16_t bitsPerSample = 16;

  static Format pcm(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits);
  // The 16 bytes as they stand in the file, big-endian in a RIFX file.
  std::string body(bool bigEndian = false) const;
};

// Builds RIFF files chunk by chunk. The RIFF size is the real one unless
// riffSize() fixes another; every chunk's size field says its body's length
// unless given explicitly, and odd bodies get their pad byte unless told not to.
// A "RIFX" builder writes every size and format field big-endian.
class WavBuilder {
 public:
  explicit WavBuilder(std::string_view riffId = "RIFF", std::string_view formatId = "WAVE");

  WavBuilder& riffSize(std::uint32_t size);
  WavBuilder& fmt(const Format& f, std::uint32_t size = 16);
  WavBuilder& chunk(std::string_view id, std::string_view body, bool pad = true);
  WavBuilder& chunkWithSize(std::string_view id, std::uint32_t size, std::string_view body);
  WavBuilder& junk(std::size_t bodyBytes) { return chunk("JUNK", std::string(bodyBytes, '\0')); }
  WavBuilder& fact(std::uint32_t sampleFrames) { return chunk("fact", le32(sampleFrames)); }
  // A data chunk whose samples are a recognisable byte pattern.
  WavBuilder& data(std::size_t bytes);
  WavBuilder& raw(std::string_view bytes);

  std::string bytes() const;

 private:
  std::string u32(std::uint32_t v) const { return bigEndian_ ? be32(v) : le32(v); }

  bool bigEndian_;
  std::string head_;
  std::string body_;
  std::optional<std::uint32_t> riffSize_;
};

// The file with the two rates of its format body, which starts at the 1-based
// `formatPosition`, replaced; big-endian when the file starts with "RIFX".
std::string withRates(std::string file, std::int64_t formatPosition, std::uint32_t sampleRate,
                      std::uint32_t byteRate);

// A canonical file: RIFF header, 16-byte fmt, data.
std::string canonicalWav(std::uint32_t sampleRate = 44100, std::uint16_t channels = 2,
                         std::uint16_t bits = 16, std::size_t dataBytes = 1000);

}  // namespace vellora::test
