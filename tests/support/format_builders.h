#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/wav_builder.h"

namespace vellora::test {

std::string be64(std::uint64_t v);
std::string le64(std::uint64_t v);
// AIFF's 80-bit extended float, big-endian.
std::string extended80(double value);
// CAF's big-endian IEEE double.
std::string beDouble(double value);
// Samples that are a recognisable byte pattern.
std::string pattern(std::size_t bytes, unsigned seed = 0);

// Builds AIFF and AIFF-C files chunk by chunk, sizes big-endian, odd bodies padded.
class AiffBuilder {
 public:
  explicit AiffBuilder(bool aifc = false);
  // COMM with the rate as an extended float; AIFF-C's adds a compression type and name.
  AiffBuilder& comm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, double rate,
                    std::string_view compression = "NONE");
  AiffBuilder& commRaw(std::string_view body);
  AiffBuilder& ssnd(std::size_t bytes);
  AiffBuilder& chunk(std::string_view id, std::string_view body);
  std::string bytes() const;
  // Where the last COMM's rate lies.
  std::size_t rateOffset() const { return rateOffset_; }

 private:
  std::string type_;
  std::string body_;
  bool aifc_;
  std::size_t rateOffset_ = 0;
};

// Builds Wave64 files: GUID-named chunks with 64-bit sizes that count their
// 24-byte header, each padded to 8 bytes.
class Wave64Builder {
 public:
  Wave64Builder& fmt(const Format& f, std::size_t bodyBytes = 16);
  // A chunk named by four letters and Wave64's GUID tail.
  Wave64Builder& chunk(std::string_view name, std::string_view body);
  Wave64Builder& chunkWithSize(std::string_view name, std::uint64_t size, std::string_view body);
  Wave64Builder& data(std::size_t bytes) { return chunk("data", pattern(bytes)); }
  std::string bytes() const;

 private:
  std::string body_;
};

// Builds CAF files: "caff", desc, then any chunks with 64-bit signed sizes.
class CafBuilder {
 public:
  CafBuilder& desc(double rate, std::string_view formatId, std::uint32_t channels, std::uint32_t bits,
                   std::uint32_t bytesPerPacket = 0, std::uint32_t framesPerPacket = 1);
  CafBuilder& chunk(std::string_view type, std::string_view body);
  CafBuilder& chunkWithSize(std::string_view type, std::int64_t size, std::string_view body);
  std::string bytes() const { return "caff" + std::string("\x00\x01\x00\x00", 4) + body_; }

 private:
  std::string body_;
};

// The 24-byte ALAC configuration as Apple's encoder writes it.
std::string alacConfig(std::uint32_t rate, std::uint8_t bits, std::uint8_t channels, std::uint32_t bitRate);
// A cookie with the 'frma' and 'alac' atoms before the configuration, as ffmpeg writes it.
std::string alacCookieWithAtoms(const std::string& config);

// An Ogg page, its checksum computed bit by bit.
// Ogg's CRC-32 computed bit by bit, from `crc`.
std::uint32_t oggCrcBitByBit(std::string_view bytes, std::uint32_t crc = 0);

struct OggPage {
  std::uint8_t flags = 0;  // 1 continued, 2 first of a stream, 4 last
  std::uint64_t granule = 0;
  std::uint32_t serial = 1;
  std::uint32_t sequence = 0;
  std::vector<std::uint8_t> lacing;
  std::string body;
  std::string bytes() const;
};

// Splits packets into pages of at most `maxBody` bytes, packets running on
// across pages where they must; the first page holds the first packet alone.
std::vector<OggPage> oggPages(const std::vector<std::string>& packets, std::uint32_t serial,
                              std::size_t maxBody = 4000);
// A Vorbis identification header.
std::string vorbisIdentification(std::uint32_t rate, std::uint8_t channels, std::int32_t maxBitRate,
                                 std::int32_t nominalBitRate, std::int32_t minBitRate);
// A whole Ogg Vorbis stream: identification, comment and setup headers of
// the given sizes, then audio packets.
std::string oggVorbis(std::uint32_t rate, std::uint8_t channels, std::uint32_t serial,
                      std::size_t commentBytes = 40, std::size_t setupBytes = 3000, std::size_t audioPackets = 5);
std::string joinPages(const std::vector<OggPage>& pages);

// An MP4 box: its 32-bit size, its type, its body.
// A Sun AU file of 16-bit samples.
std::string au(std::uint32_t rate, std::uint32_t channels);
// A NIST SPHERE file whose header holds `fields` and is `headerBytes` long,
// padded with spaces (0: no padding at all), then a few samples.
std::string sphere(const std::string& fields, std::size_t headerBytes);

std::string mp4Box(std::string_view type, std::string_view body);
// An M4A file of one audio track, reduced to the boxes that hold its rates
// and durations; the movie's timescale is 1000.
struct M4a {
  std::uint32_t rate = 44100;  // the sample entry's and the ALAC configuration's
  std::uint32_t mediaTimescale = 44100;
  std::uint64_t movieDuration = 2000;  // also the track's, the edit's and the fragments'
  bool wide = false;                   // version 1 headers with 64-bit durations
  bool moovFirst = true;
  bool fragmented = false;  // mvex with mehd, and a segment index
  std::string codec = "alac";
  std::string bytes() const;
};

// A WavPack block of 16-bit stereo: its header, the kept header of the file it
// was packed from, a rate sub-block where the rate has no code or `ownRate`
// asks for one, audio, and a checksum of 2 or 4 bytes (none for 0).
struct WavPackBlock {
  std::uint32_t rate = 44100;
  bool ownRate = false;
  std::string wrapper = {};  // a RIFF header sub-block when not empty
  std::uint32_t flags = 0x1;
  std::size_t checksumBytes = 4;
  std::string bytes() const;
};

}  // namespace vellora::test
