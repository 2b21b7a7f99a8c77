#include "speed/wav_header.h"

#include <gtest/gtest.h>

#include <string>

#include "speed/memory_source.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using test::Format;
using test::WavBuilder;

HeaderScan scan(const std::string& bytes, bool failureRecorded = false) {
  MemorySource source(std::as_bytes(std::span(bytes)));
  return scanHeader(source, failureRecorded);
}

std::string hex(std::span<const std::byte> bytes) {
  std::string out;
  for (std::byte b : bytes) {
    static const char digits[] = "0123456789abcdef";
    if (!out.empty()) out += ' ';
    out += digits[std::to_integer<int>(b) >> 4];
    out += digits[std::to_integer<int>(b) & 15];
  }
  return out;
}

TEST(ScanHeader, CanonicalFileHasItsFormatBodyAtByte21) {
  const HeaderScan s = scan(test::canonicalWav(44100, 2, 16, 1764000));
  ASSERT_TRUE(s.found());
  EXPECT_EQ(s.formatPosition, 21);
  EXPECT_EQ(s.riff.size, 1764036);
  EXPECT_EQ(hex(s.format.encode()), "01 00 02 00 44 ac 00 00 10 b1 02 00 04 00 10 00");
  EXPECT_EQ(s.format.channels, 2);
  EXPECT_EQ(s.format.blockAlign, 4);
  EXPECT_EQ(s.format.bitsPerSample, 16);
}

TEST(ScanHeader, ReadsOnlyTheFirst16BytesOfLongerFormatChunks) {
  for (std::uint32_t size : {16U, 18U, 40U}) {
    const HeaderScan s =
        scan(WavBuilder().fmt(Format::pcm(8000, 1, 8), size).data(10).bytes());
    ASSERT_TRUE(s.found()) << size;
    EXPECT_EQ(s.formatPosition, 21);
    EXPECT_EQ(s.format.sampleRate, 8000);
  }
}

// Chunks before the format chunk are skipped by their padded size.
TEST(ScanHeader, SkipsEveryChunkBeforeTheFormatChunk) {
  struct Case {
    const char* what;
    WavBuilder file;
    std::int64_t formatPosition;
  };
  const Format f = Format::pcm(22050, 1, 16);
  Case cases[] = {
      {"fact of 4 bytes", WavBuilder().fact(1234).fmt(f).data(4), 33},
      {"JUNK of 24 bytes", WavBuilder().junk(24).fmt(f).data(4), 53},
      {"JUNK of 28 bytes, as ffmpeg writes for RF64", WavBuilder().junk(28).fmt(f).data(4), 57},
      {"LIST of odd length and its pad byte", WavBuilder().chunk("LIST", "INFOa").fmt(f), 35},
      {"bext then JUNK", WavBuilder().chunk("bext", std::string(602, 'b')).junk(4).fmt(f), 643},
      {"empty chunk", WavBuilder().chunk("PEAK", "").fmt(f), 29},
      {"lower-case fmt is another chunk", WavBuilder().chunk("FMT ", f.body()).fmt(f), 45},
  };
  for (Case& c : cases) {
    const HeaderScan s = scan(c.file.bytes());
    ASSERT_TRUE(s.found()) << c.what;
    EXPECT_EQ(s.formatPosition, c.formatPosition) << c.what;
    EXPECT_EQ(s.format.sampleRate, 22050) << c.what;
  }
}

// RIFX files hold every size and format field big-endian; only their id says so.
TEST(ScanHeader, ReadsRifxBigEndian) {
  struct Case {
    const char* what;
    WavBuilder file;
    std::int64_t formatPosition;
  };
  const Format f = Format::pcm(44100, 2, 16);
  Case cases[] = {
      {"fmt of 16 bytes", WavBuilder("RIFX").fmt(f).data(6), 21},
      {"fmt of 18 bytes", WavBuilder("RIFX").fmt(f, 18).data(6), 21},
      {"fmt of 40 bytes", WavBuilder("RIFX").fmt(f, 40).data(6), 21},
      {"JUNK of 300 bytes first", WavBuilder("RIFX").junk(300).fmt(f).data(6), 329},
      {"LIST of odd length and its pad byte", WavBuilder("RIFX").chunk("LIST", "INFOa").fmt(f), 35},
  };
  for (Case& c : cases) {
    const std::string bytes = c.file.bytes();
    const HeaderScan s = scan(bytes);
    ASSERT_TRUE(s.found()) << c.what;
    EXPECT_EQ(s.order, ByteOrder::Big) << c.what;
    EXPECT_EQ(s.formatPosition, c.formatPosition) << c.what;
    EXPECT_EQ(s.riff.size, static_cast<std::int32_t>(bytes.size() - 8)) << c.what;
    EXPECT_EQ(s.format.sampleRate, 44100) << c.what;
    EXPECT_EQ(s.format.byteRate, 176400) << c.what;
    EXPECT_EQ(s.format.bitsPerSample, 16) << c.what;
    EXPECT_EQ(hex(s.format.encode(s.order)), "00 01 00 02 00 00 ac 44 00 02 b1 10 00 04 00 10");
  }
  // Any other id, RF64 and unknown ones included, stays little-endian.
  for (const char* id : {"RIFF", "RF64", "BW64", "rifx", "ABCD"}) {
    const HeaderScan s = scan(WavBuilder(id).fmt(f).data(6).bytes());
    EXPECT_EQ(s.order, ByteOrder::Little) << id;
    EXPECT_EQ(s.format.sampleRate, 44100) << id;
  }
}

TEST(ScanHeader, EndsWithoutFormatChunk) {
  struct Case {
    const char* what;
    std::string file;
    ScanEnd end;
  };
  const Format f = Format::pcm(44100, 2, 16);
  const std::string canonical = test::canonicalWav();
  Case cases[] = {
      {"empty file", "", ScanEnd::ShortFile},
      {"11 bytes", canonical.substr(0, 11), ScanEnd::ShortFile},
      {"RIFF header only", canonical.substr(0, 12), ScanEnd::ShortFile},
      {"half a chunk header", canonical.substr(0, 16), ScanEnd::ShortFile},
      {"format body cut short", canonical.substr(0, 30), ScanEnd::ShortFile},
      {"data before fmt", WavBuilder().data(8).fmt(f).bytes(), ScanEnd::DataBeforeFormat},
      {"JUNK larger than the file", WavBuilder().chunkWithSize("JUNK", 100, "xx").fmt(f).bytes(),
       ScanEnd::ChunkPastEnd},
      {"size that is negative when signed",
       WavBuilder().chunkWithSize("JUNK", 0xFFFFFFFF, "").fmt(f).bytes(), ScanEnd::ChunkPastEnd},
      {"odd chunk without its pad byte",
       WavBuilder().chunk("LIST", "abc", false).fmt(f).data(2).bytes(), ScanEnd::ChunkPastEnd},
      {"fmt of 11 bytes", WavBuilder().chunk("fmt ", f.body().substr(0, 11)).data(2).bytes(),
       ScanEnd::FormatTooShort},
      {"text file", "just some words, no RIFF here at all", ScanEnd::ChunkPastEnd},
  };
  for (const Case& c : cases) {
    const HeaderScan s = scan(c.file);
    EXPECT_EQ(s.end, c.end) << c.what;
    EXPECT_EQ(s.formatPosition, 0) << c.what;
    EXPECT_EQ(s.format, FormatBody{}) << c.what;
  }
}

TEST(ScanHeader, AfterAFailureLooksAtTheFirstChunkOnly) {
  const Format f = Format::pcm(44100, 2, 16);
  EXPECT_TRUE(scan(test::canonicalWav(), true).found());
  const HeaderScan s = scan(WavBuilder().junk(24).fmt(f).data(4).bytes(), true);
  EXPECT_EQ(s.end, ScanEnd::Stopped);
  EXPECT_EQ(s.formatPosition, 0);
}

TEST(ScanHeader, Rf64WithDs64BeforeFormat) {
  const std::string ds64 = std::string(28, '\x11');
  const std::string file = WavBuilder("RF64")
                               .riffSize(0xFFFFFFFF)
                               .chunk("ds64", ds64)
                               .fmt(Format::pcm(48000, 2, 24))
                               .chunkWithSize("data", 0xFFFFFFFF, std::string(12, '\x22'))
                               .bytes();
  const HeaderScan s = scan(file);
  ASSERT_TRUE(s.found());
  EXPECT_EQ(s.riff.size, -1);
  EXPECT_EQ(s.formatPosition, 57);
  EXPECT_EQ(s.format.sampleRate, 48000);
}

TEST(ScaleTiming, RoundsHalvesToEven) {
  struct Case {
    std::int32_t rate;
    double factor;
    std::int32_t scaled;
  };
  const Case cases[] = {
      {44100, 0.9, 39690},   {176400, 0.9, 158760}, {11025, 0.9, 9922},  {44100, 0.9, 39690},
      {22050, 0.85, 18742},  {22050, 0.95, 20948},  {44100, 0.003, 132}, {8000, 1.2, 9600},
      {2147483647, 1.0, 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(scaledRate(c.rate, c.factor), c.scaled) << c.rate;
}

TEST(ScaleTiming, ChangesBothRatesOrNeither) {
  const FormatBody body = FormatBody::decode(
      std::as_bytes(std::span<const char, 16>(Format::pcm(44100, 2, 16).body().data(), 16)));
  const std::optional<FormatBody> scaled = scaleTiming(body, 0.9);
  ASSERT_TRUE(scaled);
  EXPECT_EQ(hex(scaled->encode()), "01 00 02 00 0a 9b 00 00 28 6c 02 00 04 00 10 00");

  // Out of 1 .. 2147483647: negative, zero, a rate that rounds to 0, overflow.
  for (double factor : {-0.5, 0.0, 1e-6, 50000.0, 1e300}) EXPECT_FALSE(scaleTiming(body, factor));
  // The byte rate overflows while the sample rate would still fit.
  EXPECT_TRUE(scaledRate(44100, 13000.0));
  EXPECT_FALSE(scaleTiming(body, 13000.0));
  EXPECT_FALSE(scaleTiming(FormatBody{}, 0.9));
}

}  // namespace
}  // namespace vellora
