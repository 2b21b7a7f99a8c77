#include "support/format_builders.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace vellora::test {

std::string be64(std::uint64_t v) {
  return be32(static_cast<std::uint32_t>(v >> 32)) + be32(static_cast<std::uint32_t>(v & 0xFFFFFFFF));
}
std::string le64(std::uint64_t v) {
  return le32(static_cast<std::uint32_t>(v & 0xFFFFFFFF)) + le32(static_cast<std::uint32_t>(v >> 32));
}

std::string extended80(double value) {
  if (value == 0) return std::string(10, '\0');
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // value = fraction * 2^exponent, fraction in [0.5, 1)
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
  const auto biased = static_cast<std::uint16_t>(exponent - 1 + 16383 + (value < 0 ? 0x8000 : 0));
  return be16(biased) + be64(mantissa);
}

std::string beDouble(double value) { return be64(std::bit_cast<std::uint64_t>(value)); }

std::string pattern(std::size_t bytes, unsigned seed) {
  std::string samples(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) samples[i] = static_cast<char>((i * 7 + 3 + seed) & 0xFF);
  return samples;
}

AiffBuilder::AiffBuilder(bool aifc) : type_(aifc ? "AIFC" : "AIFF"), aifc_(aifc) {}

AiffBuilder& AiffBuilder::comm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, double rate,
                               std::string_view compression) {
  std::string body = be16(channels) + be32(frames) + be16(bits) + extended80(rate);
  if (aifc_) body += std::string(compression) + std::string("\x0e" "not compressed\0", 16);
  rateOffset_ = 12 + body_.size() + 8 + 8;
  return chunk("COMM", body);
}

AiffBuilder& AiffBuilder::commRaw(std::string_view body) { return chunk("COMM", body); }

AiffBuilder& AiffBuilder::ssnd(std::size_t bytes) {
  return chunk("SSND", std::string(8, '\0') + pattern(bytes));
}

AiffBuilder& AiffBuilder::chunk(std::string_view id, std::string_view body) {
  body_ += std::string(id) + be32(static_cast<std::uint32_t>(body.size())) + std::string(body);
  if (body.size() % 2 == 1) body_ += '\0';
  return *this;
}

std::string AiffBuilder::bytes() const {
  return "FORM" + be32(static_cast<std::uint32_t>(4 + body_.size())) + type_ + body_;
}

namespace {
const std::string kWave64Tail("\xf3\xac\xd3\x11\x8c\xd1\x00\xc0\x4f\x8e\xdb\x8a", 12);
const std::string kRiffGuid("riff\x2e\x91\xcf\x11\xa5\xd6\x28\xdb\x04\xc1\x00\x00", 16);
}  // namespace

Wave64Builder& Wave64Builder::fmt(const Format& f, std::size_t bodyBytes) {
  std::string body = f.body();
  for (std::size_t i = 16; i < bodyBytes; ++i) body += static_cast<char>(0xE0 + i % 16);
  return chunk("fmt ", body.substr(0, bodyBytes));
}

Wave64Builder& Wave64Builder::chunk(std::string_view name, std::string_view body) {
  return chunkWithSize(name, 24 + body.size(), body);
}

Wave64Builder& Wave64Builder::chunkWithSize(std::string_view name, std::uint64_t size, std::string_view body) {
  body_ += std::string(name) + kWave64Tail + le64(size) + std::string(body);
  body_.append((8 - body.size() % 8) % 8, '\0');
  return *this;
}

std::string Wave64Builder::bytes() const {
  return kRiffGuid + le64(40 + body_.size()) + "wave" + kWave64Tail + body_;
}

CafBuilder& CafBuilder::desc(double rate, std::string_view formatId, std::uint32_t channels, std::uint32_t bits,
                             std::uint32_t bytesPerPacket, std::uint32_t framesPerPacket) {
  return chunk("desc", beDouble(rate) + std::string(formatId) + be32(0) + be32(bytesPerPacket) +
                           be32(framesPerPacket) + be32(channels) + be32(bits));
}

CafBuilder& CafBuilder::chunk(std::string_view type, std::string_view body) {
  return chunkWithSize(type, static_cast<std::int64_t>(body.size()), body);
}

CafBuilder& CafBuilder::chunkWithSize(std::string_view type, std::int64_t size, std::string_view body) {
  body_ += std::string(type) + be64(static_cast<std::uint64_t>(size)) + std::string(body);
  return *this;
}

std::string alacConfig(std::uint32_t rate, std::uint8_t bits, std::uint8_t channels, std::uint32_t bitRate) {
  std::string config = be32(4096);
  config += std::string{'\0', static_cast<char>(bits), 40, 10, 14, static_cast<char>(channels)};
  return config + be16(255) + be32(0x4004) + be32(bitRate) + be32(rate);
}

std::string alacCookieWithAtoms(const std::string& config) {
  return be32(12) + "frma" + "alac" + be32(static_cast<std::uint32_t>(12 + config.size())) + "alac" + be32(0) + config;
}

std::uint32_t oggCrcBitByBit(std::string_view page, std::uint32_t crc) {
  for (char c : page) {
    crc ^= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000U) != 0 ? (crc << 1) ^ 0x04C11DB7U : crc << 1;
  }
  return crc;
}

std::string OggPage::bytes() const {
  std::string page = "OggS";
  page += '\0';
  page += static_cast<char>(flags);
  page += le64(granule) + le32(serial) + le32(sequence) + le32(0);
  page += static_cast<char>(lacing.size());
  for (std::uint8_t l : lacing) page += static_cast<char>(l);
  page += body;
  page.replace(22, 4, le32(oggCrcBitByBit(page)));
  return page;
}

std::vector<OggPage> oggPages(const std::vector<std::string>& packets, std::uint32_t serial, std::size_t maxBody) {
  std::vector<OggPage> pages;
  std::uint64_t granule = 0;
  auto startPage = [&](std::uint8_t flags) {
    pages.push_back({.flags = flags, .granule = ~std::uint64_t{0}, .serial = serial,
                     .sequence = static_cast<std::uint32_t>(pages.size()), .lacing = {}, .body = {}});
  };
  for (std::size_t p = 0; p < packets.size(); ++p) {
    const std::string& packet = packets[p];
    // The identification header alone on the first page, and the audio on pages after the headers.
    if (p == 0) startPage(2);
    if (p == 1 || p == 3) startPage(0);
    std::size_t done = 0;
    for (bool last = false; !last;) {
      OggPage& page = pages.back();
      if (page.lacing.size() == 255 || page.body.size() >= maxBody) {
        startPage(done > 0 ? 1 : 0);
        continue;
      }
      const std::size_t piece = std::min<std::size_t>(255, packet.size() - done);
      pages.back().lacing.push_back(static_cast<std::uint8_t>(piece));
      pages.back().body += packet.substr(done, piece);
      done += piece;
      last = piece < 255;
    }
    if (p >= 3) granule += 1024;
    pages.back().granule = p < 3 ? 0 : granule;
  }
  pages.back().flags |= 4;
  return pages;
}

std::string vorbisIdentification(std::uint32_t rate, std::uint8_t channels, std::int32_t maxBitRate,
                                 std::int32_t nominalBitRate, std::int32_t minBitRate) {
  std::string id = "\x01vorbis" + le32(0);
  id += static_cast<char>(channels);
  id += le32(rate) + le32(static_cast<std::uint32_t>(maxBitRate)) + le32(static_cast<std::uint32_t>(nominalBitRate)) +
        le32(static_cast<std::uint32_t>(minBitRate));
  id += "\xb8\x01";
  return id;
}

std::string oggVorbis(std::uint32_t rate, std::uint8_t channels, std::uint32_t serial, std::size_t commentBytes,
                      std::size_t setupBytes, std::size_t audioPackets) {
  std::vector<std::string> packets = {vorbisIdentification(rate, channels, 0, 128000, 0),
                                      "\x03vorbis" + pattern(commentBytes, 1), "\x05vorbis" + pattern(setupBytes, 2)};
  for (std::size_t i = 0; i < audioPackets; ++i) packets.push_back(pattern(100 + 37 * i, static_cast<unsigned>(i)));
  return joinPages(oggPages(packets, serial));
}

std::string joinPages(const std::vector<OggPage>& pages) {
  std::string joined;
  for (const OggPage& page : pages) joined += page.bytes();
  return joined;
}

std::string mp4Box(std::string_view type, std::string_view body) {
  return be32(static_cast<std::uint32_t>(8 + body.size())) + std::string(type) + std::string(body);
}

std::string M4a::bytes() const {
  const auto time = [&](std::uint64_t v) { return wide ? be64(v) : be32(static_cast<std::uint32_t>(v)); };
  const std::string version = wide ? std::string("\1\0\0\0", 4) : std::string(4, '\0');
  const std::string stamps = time(0) + time(0);
  const std::string mvhd = mp4Box("mvhd", version + stamps + be32(1000) + time(movieDuration) + pattern(80));
  const std::string tkhd = mp4Box("tkhd", version + stamps + be32(1) + be32(0) + time(movieDuration) + pattern(60));
  const std::string elst = mp4Box("edts", mp4Box("elst", std::string(4, '\0') + be32(1) + be32(static_cast<std::uint32_t>(movieDuration)) +
                                                        be32(0) + be32(0x10000)));
  const std::string mdhd = mp4Box("mdhd", version + stamps + be32(mediaTimescale) + time(88200) + be32(0));
  const std::string hdlr = mp4Box("hdlr", be32(0) + be32(0) + "soun" + std::string(12, '\0') + "Sound\0");
  const std::string entryBody = std::string(6, '\0') + be16(1) + std::string(8, '\0') + be16(2) + be16(16) + be32(0) +
                                be32(rate <= 0xFFFF ? rate << 16 : 0) +
                                mp4Box("alac", be32(0) + alacConfig(rate, 16, 2, rate * 32));
  const std::string stsd = mp4Box("stsd", be32(0) + be32(1) + mp4Box(codec, entryBody));
  const std::string minf = mp4Box("minf", mp4Box("smhd", be32(0) + be32(0)) +
                                              mp4Box("stbl", stsd + mp4Box("stts", be32(0) + be32(1) + be32(22) + be32(4096))));
  const std::string trak = mp4Box("trak", tkhd + elst + mp4Box("mdia", mdhd + hdlr + minf));
  const std::string mvex = fragmented ? mp4Box("mvex", mp4Box("mehd", version + time(movieDuration))) : "";
  const std::string moov = mp4Box("moov", mvhd + trak + mvex);
  const std::string sidx = fragmented ? mp4Box("sidx", be32(0) + be32(1) + be32(mediaTimescale) + pattern(20)) : "";
  const std::string mdat = mp4Box("mdat", pattern(300));
  const std::string ftyp = mp4Box("ftyp", std::string("M4A ") + be32(512) + "M4A isomiso2");
  return moovFirst ? ftyp + moov + sidx + mdat : ftyp + mdat + moov;
}

std::string au(std::uint32_t rate, std::uint32_t channels) {
  return ".snd" + be32(28) + be32(40) + be32(3) + be32(rate) + be32(channels) + "note" + pattern(40);
}

std::string sphere(const std::string& fields, std::size_t headerBytes) {
  const std::string text = "channel_count -i 1\n" + fields + "sample_n_bytes -i 2\nend_head\n";
  const std::size_t length = headerBytes == 0 ? 16 + text.size() : headerBytes;
  const std::string number = std::to_string(length);
  std::string header = "NIST_1A\n" + std::string(7 - number.size(), ' ') + number + "\n" + text;
  header.resize(length, ' ');
  return header + pattern(32);
}

namespace {

// A sub-block: its id, with "one byte shorter" for odd data, its size in 16-bit words, its padded data.
std::string wavPackSubBlock(unsigned id, std::string data) {
  const bool odd = data.size() % 2 != 0;
  if (odd) data += '\0';
  const std::size_t words = data.size() / 2;
  const std::string size = words > 0xFF ? std::string{static_cast<char>(words), static_cast<char>(words >> 8),
                                                      static_cast<char>(words >> 16)}
                                        : std::string(1, static_cast<char>(words));
  return std::string(1, static_cast<char>(id | (odd ? 0x40 : 0) | (words > 0xFF ? 0x80 : 0))) + size + data;
}

}  // namespace

std::string WavPackBlock::bytes() const {
  static constexpr std::uint32_t kCoded[] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                             32000, 44100, 48000, 64000, 88200, 96000, 192000};
  std::uint32_t code = 15;
  for (std::uint32_t i = 0; i < 15 && !ownRate; ++i)
    if (kCoded[i] == rate) code = i;
  std::string body = wrapper.empty() ? "" : wavPackSubBlock(0x21, wrapper);
  if (code == 15) body += wavPackSubBlock(0x27, le32(rate).substr(0, 3));
  body += wavPackSubBlock(0x0A, pattern(40));
  const std::uint32_t allFlags = flags | code << 23 | (checksumBytes ? 1U << 28 : 0);
  const std::size_t size = 24 + body.size() + (checksumBytes ? 2 + checksumBytes : 0);
  // Version 0x410; 1000 samples of 1000 in all, from sample 0; a CRC of the decoded samples no reader checks here.
  std::string block = "wvpk" + le32(static_cast<std::uint32_t>(size)) + le16(0x410) + le16(0) + le32(1000) + le32(0) +
                      le32(1000) + le32(allFlags) + le32(0xC0FFEE) + body;
  if (checksumBytes == 0) return block;
  std::uint32_t c = 0xFFFFFFFF;
  for (std::size_t i = 0; i < block.size(); i += 2)
    c = c * 3 + (std::uint32_t{static_cast<unsigned char>(block[i])} |
                 std::uint32_t{static_cast<unsigned char>(block[i + 1])} << 8);
  return block + wavPackSubBlock(0x2F, checksumBytes == 4 ? le32(c) : le16(static_cast<std::uint16_t>(c ^ (c >> 16))));
}

}  // namespace vellora::test
