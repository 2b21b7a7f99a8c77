// Every format's change of rate, as whole files: each fixture is built byte
// by byte, its plan applied, and the result compared with the file as it
// must be, built again with the new rate. Each fixture also goes through a
// stream in small reads, which must give the very same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "speed/audio_format.h"
#include "speed/conversion.h"
#include "speed/memory_source.h"
#include "speed/ogg_vorbis.h"
#include "speed/stream_change.h"
#include "speed/plan_support.h"
#include "support/flac_builder.h"
#include "support/format_builders.h"
#include "support/memory_files.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using namespace test;

constexpr RateChange k90{.factor = 0.9, .exactRate = {}};

RatePlan plan(const std::string& file, const RateChange& change = k90) {
  MemorySource source(std::as_bytes(std::span(file)));
  return planRateChange(source, change);
}

std::string applied(std::string file, const RatePlan& p) {
  applyPatches(std::as_writable_bytes(std::span(file)), 0, p.patches);
  return file;
}

// A stream that hands out a few bytes per read, as a pipe may.
class TrickleStream final : public ByteStream {
 public:
  TrickleStream(const std::string& bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  ByteSource::Read readSome(std::span<std::byte> into) override {
    const std::size_t n = std::min({into.size(), piece_, bytes_.size() - at_});
    if (n > 0) std::memcpy(into.data(), bytes_.data() + at_, n);
    at_ += n;
    return {.count = n, .status = {}};
  }
  std::string rest() const { return bytes_.substr(at_); }

 private:
  const std::string& bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

struct StringSink final : ByteSink {
  std::string bytes;
  IoStatus writeAll(std::span<const std::byte> b) override {
    bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    return {};
  }
};

struct Streamed {
  StreamChange change;
  std::string written;  // what the stream wrote, then the rest copied unchanged
};

Streamed streamed(const std::string& file, std::size_t piece, const RateChange& change = k90) {
  TrickleStream in(file, piece);
  StringSink out;
  Streamed result{changeStream(in, out, change, "in", "out"), {}};
  result.written = out.bytes + (result.change.ok() ? in.rest() : "");
  return result;
}

// The file changed as planned, and the same through streams of several read sizes.
void expectChange(const std::string& what, const std::string& file, const std::string& expected,
                  const RateChange& change = k90) {
  SCOPED_TRACE(what);
  const RatePlan p = plan(file, change);
  ASSERT_TRUE(p.ok()) << p.reason;
  EXPECT_TRUE(applied(file, p) == expected);
  for (std::size_t piece : {std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    const Streamed s = streamed(file, piece, change);
    ASSERT_TRUE(s.change.ok()) << message(s.change.error);
    EXPECT_TRUE(s.written == expected) << "through a stream read " << piece << " bytes at a time";
  }
  test::MemoryFiles files;
  files.write("C:\\in", file);
  const Conversion copied = convert(files, {.input = "C:\\in", .output = "C:\\out", .factor = change.factor,
                                            .existing = {}, .progress = {}, .durable = false,
                                            .exactRate = change.exactRate});
  ASSERT_TRUE(copied.ok()) << message(copied.error);
  EXPECT_TRUE(files.read("C:\\out") == expected) << "as a copy";
}

std::string replaced(std::string file, std::size_t at, const std::string& bytes) {
  return file.replace(at, bytes.size(), bytes);
}

TEST(Formats, RecognisesEachByItsBytesAndRefusesWhatCannotChange) {
  const std::string ogg = oggVorbis(44100, 2, 7);
  struct Case {
    const char* what;
    std::string file;
    PlanFailure failure;
    const char* words;  // in the format's name or the reason
  };
  const std::string mpegFrame("\xff\xfb\x90\x64", 4);
  const std::string id3 = "ID3\x04" + std::string("\0\0\0\0\0\x05", 6) + "abcde";
  const Case cases[] = {
      {"WAV", canonicalWav(), PlanFailure::None, "WAV"},
      {"RIFX", WavBuilder("RIFX").fmt(Format::pcm(8000, 1, 8)).data(4).bytes(), PlanFailure::None, "RIFX"},
      {"RF64", WavBuilder("RF64").chunk("ds64", std::string(28, '\0')).fmt(Format::pcm(8000, 1, 8)).bytes(),
       PlanFailure::None, "RF64"},
      {"AIFF", AiffBuilder().comm(2, 10, 16, 44100).ssnd(40).bytes(), PlanFailure::None, "AIFF"},
      {"AIFF-C", AiffBuilder(true).comm(2, 10, 16, 44100, "sowt").ssnd(40).bytes(), PlanFailure::None, "AIFF-C"},
      {"Wave64", Wave64Builder().fmt(Format::pcm(48000, 2, 24)).data(60).bytes(), PlanFailure::None, "Wave64"},
      {"CAF", CafBuilder().desc(44100, "lpcm", 2, 16, 4).chunk("data", pattern(40)).bytes(), PlanFailure::None, "CAF"},
      {"Ogg Vorbis", ogg, PlanFailure::None, "Ogg Vorbis"},
      {"BW64", WavBuilder("BW64").chunk("ds64", std::string(28, '\0')).fmt(Format::pcm(8000, 1, 8)).bytes(),
       PlanFailure::None, "BW64"},
      {"WAV behind an ID3 tag", id3 + canonicalWav(), PlanFailure::None, "WAV"},
      {"Ogg behind an ID3 tag", id3 + ogg, PlanFailure::None, "Ogg Vorbis"},
      {"Sun AU", au(8000, 2), PlanFailure::None, "Sun AU"},
      {"NIST SPHERE", sphere("sample_rate -i 16000\n", 1024), PlanFailure::None, "NIST SPHERE"},
      {"AC-3", std::string("\x0b\x77\x12\x34\x14\x40", 6) + pattern(100), PlanFailure::Unsupported, "AC-3"},
      {"VOC", "Creative Voice File\x1a" + pattern(40), PlanFailure::Unsupported, "Creative Voice"},
      {"8SVX", "FORM" + be32(40) + "8SVXVHDR" + pattern(32), PlanFailure::Unsupported, "8SVX"},
      {"IRCAM", std::string("\x64\xa3\x02\x00", 4) + pattern(1020), PlanFailure::Unsupported, "IRCAM"},
      {"WavPack", WavPackBlock{.rate = 37000}.bytes(), PlanFailure::None, "WavPack"},
      {"MP3 with an ID3 tag", "ID3\x04" + std::string("\0\0\0\0\0\x05", 6) + "abcde" + mpegFrame + pattern(400),
       PlanFailure::Unsupported, "it is MP3"},
      {"MP3 frames", mpegFrame + pattern(400), PlanFailure::Unsupported, "it is MP3"},
      {"AAC in ADTS", std::string("\xff\xf1\x50\x80", 4) + pattern(100), PlanFailure::Unsupported, "it is AAC"},
      {"FLAC frames cut from a stream", frameBytes({.subframes = constantSubframes(2, 16, 0)}),
       PlanFailure::Unsupported, "FLAC frames with no \"fLaC\""},
      {"AAC in M4A", M4a{.codec = "mp4a"}.bytes(), PlanFailure::Unsupported, "it is AAC in MP4"},
      {"M4A timed in milliseconds", M4a{.mediaTimescale = 1000}.bytes(), PlanFailure::Unsupported,
       "its media header counts time in 1000 units a second rather than in samples at 44100 Hz"},
      {"Opus", joinPages(oggPages({"OpusHead" + pattern(11), "OpusTags" + pattern(20), pattern(300)}, 3)),
       PlanFailure::Unsupported, "always decodes at 48000 Hz"},
      {"WebM", "\x1a\x45\xdf\xa3" + pattern(100), PlanFailure::Unsupported, "Matroska or WebM"},
      {"CAF holding AAC", CafBuilder().desc(44100, "aac ", 2, 0).chunk("data", pattern(40)).bytes(),
       PlanFailure::Unsupported, "AAC ('aac ')"},
      {"text", "just some words, no RIFF here at all", PlanFailure::UnknownFormat, "has no header that states a rate"},
  };
  for (const Case& c : cases) {
    const RatePlan p = plan(c.file);
    EXPECT_EQ(p.failure, c.failure) << c.what << ": " << p.reason;
    const std::string words = c.failure == PlanFailure::None ? std::string(formatName(p.format)) : p.reason;
    EXPECT_NE(words.find(c.words), std::string::npos) << c.what << ": " << words;
    if (c.failure != PlanFailure::None) {
      EXPECT_TRUE(p.patches.empty()) << c.what;
      // A stream refused at its start writes nothing.
      const Streamed s = streamed(c.file, 4096);
      EXPECT_FALSE(s.change.ok()) << c.what;
      EXPECT_EQ(s.written, "") << c.what;
    }
  }
}

// COMM may follow the sound data; AIFF-C's COMM is longer; rates need not be whole.
TEST(Formats, AiffChangesTheExtendedRateOfItsCommChunk) {
  struct Case {
    const char* what;
    AiffBuilder file;
    double newRate;
  };
  Case cases[] = {
      {"COMM first", AiffBuilder().comm(2, 100, 16, 44100).ssnd(400), 39690},
      {"COMM after SSND", AiffBuilder().chunk("NAME", "odd").ssnd(4001).comm(1, 4001, 8, 8000), 7200},
      {"AIFF-C, sowt", AiffBuilder(true).chunk("FVER", be32(0xA2805140)).comm(2, 10, 16, 48000, "sowt").ssnd(40),
       43200},
      {"a rate that is not whole", AiffBuilder().comm(1, 10, 8, 22254.545454545455).ssnd(10), 20029},
  };
  for (Case& c : cases) {
    const std::string file = c.file.bytes();
    expectChange(c.what, file, replaced(file, c.file.rateOffset(), extended80(c.newRate)));
  }
  // Readers differ in which COMM they take, so a second one changes as well.
  AiffBuilder twice = AiffBuilder().comm(2, 10, 16, 44100);
  const std::size_t firstRate = twice.rateOffset();
  const std::string twoComm = twice.ssnd(40).comm(2, 10, 16, 44100).bytes();
  expectChange("two COMM chunks", twoComm,
               replaced(replaced(twoComm, firstRate, extended80(39690)), twice.rateOffset(), extended80(39690)));

  // 44100 as Apple's tools write it, byte for byte.
  const AiffBuilder cd = AiffBuilder().comm(2, 1, 16, 44100).ssnd(4);
  EXPECT_EQ(cd.bytes().substr(cd.rateOffset(), 10), std::string("\x40\x0e\xac\x44\0\0\0\0\0\0", 10));

  const RatePlan tooShort = plan(AiffBuilder().commRaw(std::string(17, '\1')).ssnd(4).bytes());
  EXPECT_EQ(tooShort.failure, PlanFailure::Malformed);
  EXPECT_EQ(tooShort.reason, "its COMM chunk is too short");
  EXPECT_EQ(plan(AiffBuilder().ssnd(40).bytes()).reason, "it has no COMM chunk");
  const RatePlan summary = plan(cases[2].file.bytes());
  EXPECT_EQ(summary.before.channels, 2);
  EXPECT_EQ(summary.before.bitsPerSample, 16);
  EXPECT_EQ(summary.before.byteRate, 192000);
  EXPECT_EQ(summary.after.byteRate, 172800);
}

TEST(Formats, Wave64ChangesItsFormatBodyAcrossEightByteAlignedChunks) {
  const Format cd = Format::pcm(44100, 2, 16);
  // A chunk of 5 body bytes is padded with 3 so that the next starts on 8 bytes.
  const std::string file = Wave64Builder().chunk("levl", "abcde").fmt(cd).data(99).bytes();
  const std::size_t body = 40 + 24 + 8 + 24;
  expectChange("after an odd chunk", file, replaced(file, body + 4, le32(39690) + le32(158760)));

  Format extensible = Format::pcm(96000, 6, 24);
  extensible.formatTag = 0xFFFE;
  std::string extensibleBody = extensible.body() + le16(22) + le16(24) + le32(0x3F) + le16(1) + pattern(14);
  const std::string surround = Wave64Builder().chunk("fmt ", extensibleBody).data(36).bytes();
  expectChange("extensible PCM", surround, replaced(surround, 40 + 24 + 4, le32(86400) + le32(86400 * 18)));

  EXPECT_EQ(plan(Wave64Builder().data(8).fmt(cd).bytes()).reason, "its data chunk comes before the format chunk");
  EXPECT_EQ(plan(Wave64Builder().chunkWithSize("junk", 8, "").fmt(cd).bytes()).failure, PlanFailure::Malformed);
  // A size that wraps round to the chunk's own start once aligned.
  EXPECT_EQ(plan(Wave64Builder().chunkWithSize("junk", ~std::uint64_t{6}, "").fmt(cd).bytes()).failure,
            PlanFailure::Malformed);
}

TEST(Formats, AuAndSphereChangeTheirHeadersRate) {
  const std::string sun = au(44100, 2);
  expectChange("Sun AU", sun, replaced(sun, 16, be32(39690)));

  // SPHERE's text moves within the padding after end_head, and the header keeps its length.
  const std::string line = "sample_rate -i 16000\n";
  const std::string padded = sphere(line, 1024);
  expectChange("SPHERE, the same digits", padded, sphere("sample_rate -i 14400\n", 1024));
  expectChange("SPHERE gaining a digit", padded, sphere("sample_rate -i 160000\n", 1024),
               {.factor = 10, .exactRate = {}});
  expectChange("SPHERE losing a digit", padded, sphere("sample_rate -i 8000\n", 1024),
               {.factor = 0.5, .exactRate = {}});
  const std::string full = sphere(line, 0);
  EXPECT_EQ(plan(full, {.factor = 10, .exactRate = {}}).reason,
            "its header has no room for a longer sample rate: rates up to 99999 Hz fit");
  EXPECT_EQ(plan(sphere("sample_rate -r 16000.0\n", 1024)).reason, "its sample_rate field is not a whole number (-i)");
}

// The rate's other witnesses in a WAV file follow it: a sampler's sample
// period, and GUANO's time expansion when the change is by a whole factor.
TEST(Formats, WavSamplePeriodAndGuanoFollowTheRate) {
  const auto wav = [](std::uint32_t rate, const std::string& guano) {
    return WavBuilder().fmt(Format::pcm(rate, 1, 16)).data(8).chunk("smpl", le32(0) + le32(0) + le32(1000000000 / rate) + pattern(24))
        .chunk("guan", guano).bytes();
  };
  struct Case {
    const char* what;
    std::string guano, expected;
    double factor;
    const char* note;
  };
  const Case cases[] = {
      {"TE with room on its line", "GUANO|Version: 1.0\nTE: 1  \nSamplerate: 250000\n",
       "GUANO|Version: 1.0\nTE: 10 \nSamplerate: 250000\n", 0.1, "TE of the GUANO"},
      {"TE with padding at the end", "GUANO|Version: 1.0\nTE: 5\nMake: x\n   ",
       "GUANO|Version: 1.0\nTE: 50\nMake: x\n  ", 0.1, "TE of the GUANO"},
      {"speeding up again", "GUANO|Version: 1.0\nTE: 10\nMake: x\n",
       "GUANO|Version: 1.0\nTE: 1\nMake: x\n ", 10, "TE of the GUANO"},
      {"no room", "GUANO|Version: 1.0\nTE: 5\nMake: x\n", "GUANO|Version: 1.0\nTE: 5\nMake: x\n", 0.1,
       "left as it was: there is no room for TE: 50"},
      {"not a whole factor", "GUANO|Version: 1.0\nTE: 1\n  ", "GUANO|Version: 1.0\nTE: 1\n  ", 0.9,
       "left as it was: the new rate is not the old one divided by a whole number"},
  };
  for (const Case& c : cases) {
    const std::string file = wav(250000, c.guano);
    const RateChange change{.factor = c.factor, .exactRate = {}};
    const auto newRate = static_cast<std::uint32_t>(250000 * c.factor);
    std::string expected = wav(250000, c.expected);
    expected = withRates(expected, 21, newRate, newRate * 2);
    expected = replaced(expected, 12 + 24 + 16 + 8 + 8, le32(1000000000 / newRate));
    expectChange(c.what, file, expected, change);
    const std::vector<std::string> notes = plan(file, change).notes;
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(),
                            [&](const std::string& n) { return n.find(c.note) != std::string::npos; }))
        << c.what;
  }
}

// A chunk cut short by the file's end holds no field to change.
TEST(Formats, ChunksCutShortGetNoPatch) {
  const std::string smpl = WavBuilder().fmt(Format::pcm(44100, 1, 16)).data(8).chunkWithSize("smpl", 36, "cut").bytes();
  const std::string desc = CafBuilder().desc(44100, "lpcm", 2, 16, 4).chunkWithSize("desc", 32, "cut").bytes();
  for (const std::string& file : {smpl, desc}) {
    const RatePlan p = plan(file);
    ASSERT_TRUE(p.ok()) << p.reason;
    ASSERT_EQ(p.patches.size(), 1U);
    EXPECT_LE(p.patches[0].offset + p.patches[0].size, file.size());
  }
}

TEST(Formats, CafChangesDescAndTheAppleLosslessCookie) {
  const std::string pcm = CafBuilder().desc(48000, "lpcm", 2, 24, 6).chunk("data", pattern(60)).bytes();
  expectChange("linear PCM", pcm, replaced(pcm, 20, beDouble(43200)));

  // ffmpeg writes the cookie inside two atoms, with the decoded samples' bit rate.
  const std::string alac = CafBuilder()
                               .desc(44100, "alac", 2, 0, 0, 4096)
                               .chunk("chan", pattern(12))
                               .chunk("kuki", alacCookieWithAtoms(alacConfig(44100, 16, 2, 1411200)))
                               .chunk("data", pattern(80))
                               .bytes();
  const std::size_t config = 8 + 44 + 24 + 12 + 24;
  expectChange("Apple Lossless from ffmpeg", alac,
               replaced(replaced(alac, 20, beDouble(39690)), config + 16, be32(39690 * 32) + be32(39690)));
  // Apple's own encoder writes the bare configuration and a bit rate of 0, which stays.
  const std::string bare = CafBuilder()
                               .desc(96000, "alac", 1, 0, 0, 4096)
                               .chunk("kuki", alacConfig(96000, 24, 1, 0))
                               .chunkWithSize("data", -1, pattern(80))
                               .bytes();
  expectChange("Apple Lossless, bare cookie", bare,
               replaced(replaced(bare, 20, beDouble(86400)), 52 + 12 + 20, be32(86400)));
  EXPECT_EQ(plan(bare).before.bitsPerSample, 24);

  const std::string negative = CafBuilder().desc(-44100, "alac", 2, 0).chunk("kuki", alacConfig(44100, 16, 2, 0)).bytes();
  EXPECT_EQ(plan(negative).reason, "its header gives a sample rate of -44100, which no recording has");

  const std::string noCookie = CafBuilder().desc(44100, "alac", 2, 0).chunkWithSize("data", -1, pattern(9)).bytes();
  EXPECT_EQ(plan(noCookie).reason, "its Apple Lossless cookie (kuki chunk) is missing");
}

// Every block gives the new rate, by its code or in its rate sub-block, with
// its checksum recomputed; the WAV header kept for unpacking changes as the WAV would.
TEST(Formats, WavPackChangesEveryBlockAndItsChecksum) {
  const auto wav = [](std::uint32_t rate) {
    return WavBuilder().fmt(Format::pcm(rate, 2, 16)).chunkWithSize("data", 4000, "").bytes();
  };
  constexpr RateChange to48000{.factor = 1.0, .exactRate = 48000};
  const std::string common = WavPackBlock{}.bytes();
  struct Case {
    const char* what;
    std::string file;
    RateChange change;
    std::string expected;  // empty where it is refused
    std::string words;     // in the notes, or in the reason
  };
  const Case cases[] = {
      {"a common rate by its code", common + common, to48000,
       WavPackBlock{.rate = 48000}.bytes() + WavPackBlock{.rate = 48000}.bytes(), "the checksums of 2 blocks"},
      {"a rate of its own", WavPackBlock{.rate = 37000}.bytes(), k90, WavPackBlock{.rate = 33300}.bytes(),
       "a rate sub-block of 33300 Hz"},
      {"a common rate in a sub-block, a short checksum",
       WavPackBlock{.ownRate = true, .flags = 0x9, .checksumBytes = 2}.bytes(), to48000,
       WavPackBlock{.rate = 48000, .ownRate = true, .flags = 0x9, .checksumBytes = 2}.bytes(),
       "a correction file (.wvc) that goes with it keeps 44100 Hz"},
      {"no checksum", WavPackBlock{.rate = 37000, .checksumBytes = 0}.bytes(), k90,
       WavPackBlock{.rate = 33300, .checksumBytes = 0}.bytes(), "1 block: a rate sub-block"},
      {"the WAV header kept", WavPackBlock{.wrapper = wav(44100)}.bytes(), to48000,
       WavPackBlock{.rate = 48000, .wrapper = wav(48000)}.bytes(), "the WAV header it keeps for unpacking"},
      {"a rate with no code", common, k90, "", "39690 Hz cannot be written without moving every block; 32000 Hz can"},
      {"a damaged block", replaced(common, 40, "x"), to48000, "", "its block at offset 0 does not match its checksum"},
      {"a cut block", common + common.substr(0, 60), to48000, "",
       "its block at offset 80 runs past the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RatePlan p = plan(c.file, c.change);
    std::string said = p.reason;
    for (const std::string& note : p.notes) said += note + "; ";
    EXPECT_NE(said.find(c.words), std::string::npos) << said;
    EXPECT_EQ(p.ok(), !c.expected.empty()) << p.reason;
    EXPECT_TRUE(p.ok() ? applied(c.file, p) == c.expected : p.patches.empty());
  }
}

// The rates and the media timescale change, and the durations counted in
// the movie's timescale follow the playing time; counts of samples stay.
TEST(Formats, AppleLosslessInMp4ChangesItsRatesAndPlayingTime) {
  struct Case {
    const char* what;
    M4a before, after;
    RateChange change = k90;
  };
  const Case cases[] = {
      {"index after the audio", {.moovFirst = false},
       {.rate = 39690, .mediaTimescale = 39690, .movieDuration = 2222, .moovFirst = false}},
      {"64-bit durations, fragmented", {.wide = true, .fragmented = true},
       {.rate = 39690, .mediaTimescale = 39690, .movieDuration = 2222, .wide = true, .fragmented = true}},
      {"a rate above what 16.16 holds", {.rate = 64000, .mediaTimescale = 64000},
       {.rate = 76800, .mediaTimescale = 76800, .movieDuration = 1667}, {1.2, std::nullopt}},
  };
  for (const Case& c : cases) {
    const std::string file = c.before.bytes();
    const RatePlan p = plan(file, c.change);
    ASSERT_TRUE(p.ok()) << c.what << ": " << p.reason;
    EXPECT_TRUE(applied(file, p) == c.after.bytes()) << c.what;
  }
}

// The identification header's page is the only page that changes, with its
// checksum; the comment and setup headers run on over several pages.
// Tables and folds (16, 64 and 256 bytes a step) against the bitwise CRC, from any CRC before.
TEST(Formats, OggCrcAgreesWithTheBitwiseReference) {
  std::string data(1400, '\0');
  std::uint32_t seed = 7;
  for (char& c : data) c = static_cast<char>((seed = seed * 1664525 + 1013904223) >> 24);
  for (const std::uint32_t before : {0U, 0x04C11DB7U, 0xFFFFFFFFU})
    for (std::size_t n = 0; n <= data.size(); ++n)
      ASSERT_EQ(oggCrc(std::as_bytes(std::span(data.data(), n)), before),
                oggCrcBitByBit(std::string_view(data).substr(0, n), before)) << n;
}

TEST(Formats, OggVorbisChangesEveryChainedStreamsIdentificationPage) {
  auto stream = [](std::uint32_t rate, std::uint32_t serial, std::int32_t nominal) {
    return oggPages({vorbisIdentification(rate, 2, -1, nominal, 0), "\x03vorbis" + pattern(9000, 1),
                     "\x05vorbis" + pattern(5000, 2), pattern(700), pattern(300)},
                    serial, 4000);
  };
  const std::vector<OggPage> first = stream(44100, 11, 128000), second = stream(48000, 22, 0);
  ASSERT_GE(first.size(), 5U);
  EXPECT_EQ(first[2].flags & 1, 1) << "a header runs on to the next page";
  auto changed = [](std::vector<OggPage> pages, std::uint32_t rate, std::int32_t nominal) {
    pages[0].body = vorbisIdentification(rate, 2, -1, nominal, 0);
    return joinPages(pages);
  };
  const std::string single = joinPages(first);
  expectChange("one stream", single, changed(first, 39690, 115200));
  // Stream recorders chain one logical stream after another.
  expectChange("chained", single + joinPages(second), changed(first, 39690, 115200) + changed(second, 43200, 0));
  expectChange("an exact rate", single, changed(first, 48000, 139320),
               {.factor = 1, .exactRate = 48000});

  std::string damaged = single;
  damaged[40] ^= 1;
  EXPECT_EQ(plan(damaged).reason, "its Ogg page at offset 0 is damaged");
  // A damaged lacing value on a later page, or bytes that are no page, hide what follows.
  const std::string chained = single + joinPages(second);
  std::string lacing = chained;
  lacing[first[0].bytes().size() + 27] ^= 4;
  EXPECT_EQ(plan(lacing).reason, "its Ogg page at offset " + std::to_string(first[0].bytes().size()) + " is damaged");
  EXPECT_EQ(plan(single + "junk" + joinPages(second)).reason,
            "bytes at offset " + std::to_string(single.size()) + " are no Ogg page");
  // An ID3v1 tag at the end is stepped over and left.
  const RatePlan tagged = plan(single + "TAG" + std::string(125, ' '));
  ASSERT_TRUE(tagged.ok()) << tagged.reason;
  EXPECT_EQ(tagged.notes.back(), "128 bytes that are no Ogg page left as they are");
  EXPECT_EQ(plan(single + joinPages(oggPages({"OpusHead" + pattern(11), pattern(50)}, 5))).failure,
            PlanFailure::Unsupported);
}

// A PCM or float byte rate stays the sample rate times the block align;
// other codecs' byte rates are scaled and rounded on their own.
TEST(Formats, WavByteRateFollowsTheNewSampleRate) {
  struct Case {
    const char* what;
    Format format;
    double percent;
    std::uint32_t sampleRate, byteRate;
  };
  Format adpcm{2, 1, 22050, 11155, 512, 4};
  Format float32{3, 2, 48000, 384000, 8, 32};  // 43200.48 and 345603.84 apart
  const Case cases[] = {
      {"PCM at 91.5%", Format::pcm(44100, 2, 16), 91.5, 40352, 161408},
      {"PCM at 90.5%", Format::pcm(44100, 2, 16), 90.5, 39910, 159640},
      {"float at 90.001%", float32, 90.001, 43200, 345600},
      {"IMA ADPCM", adpcm, 90.5, 19955, 10095},
  };
  for (const Case& c : cases) {
    const std::string file = WavBuilder().fmt(c.format).data(8).bytes();
    expectChange(c.what, file, withRates(file, 21, c.sampleRate, c.byteRate),
                 {.factor = c.percent / 100, .exactRate = {}});
  }
  const std::string drifted = WavBuilder().fmt(Format::pcm(48002, 2, 16)).data(8).bytes();
  expectChange("--rate 48000", drifted, withRates(drifted, 21, 48000, 192000), {.factor = 1, .exactRate = 48000});
}

// A ByteSource that counts its reads.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(const std::string& bytes) : memory_(std::as_bytes(std::span(bytes))) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    ++reads;
    return memory_.readAt(offset, into);
  }
  std::uint64_t size() const override { return memory_.size(); }
  int reads = 0;

 private:
  MemorySource memory_;
};

// Four million empty chunks before the format chunk cost a few large reads,
// not one each, and tell their progress, which can stop the scan.
TEST(Formats, ScanReadsManyChunksInLargeBlocks) {
  const std::string empty = "JUNK" + le32(0);
  std::string chunks;
  chunks.reserve(empty.size() << 22);
  for (int i = 0; i < (1 << 22); ++i) chunks += empty;
  const std::string file = WavBuilder().raw(chunks).fmt(Format::pcm(44100, 2, 16)).data(8).bytes();
  ASSERT_GT(file.size(), std::size_t{32} << 20);
  CountingSource source(file);
  int told = 0;
  const RatePlan p = planRateChange(source, k90, [&told](std::uint64_t, std::uint64_t) { return ++told > 0; });
  ASSERT_TRUE(p.ok()) << p.reason;
  EXPECT_EQ(p.notes.front(), "format chunk at offset 33554444, 4194304 chunks skipped before it");
  EXPECT_LT(source.reads, 40);  // 1 MiB blocks, not one read a chunk
  EXPECT_GE(told, 5);

  CountingSource again(file);
  const RatePlan stopped = planRateChange(again, k90, [](std::uint64_t done, std::uint64_t) { return done < (8 << 20); });
  EXPECT_EQ(stopped.failure, PlanFailure::Cancelled);
  EXPECT_TRUE(stopped.patches.empty());
}

// One file in memory, opened for changing in place; with `changing`, each
// read finds another rate in it, as if a recorder still wrote it.
class OneFile final : public FileSystem {
 public:
  explicit OneFile(std::string content) : bytes(std::move(content)) {}
  std::string bytes;
  int writes = 0;
  bool changing = false;

  Opened<UpdatableFile> openForUpdate(const std::string&) override { return {std::make_unique<File>(*this), {}}; }
  Opened<InputFile> openInput(const std::string&) override { return {nullptr, IoStatus::failure("no")}; }
  Opened<ReplacementFile> createReplacement(const std::string&) override { return {nullptr, IoStatus::failure("no")}; }
  bool exists(const std::string&) override { return true; }
  bool sameFile(const std::string&, const std::string&) override { return false; }
  IoStatus makeDirectory(const std::string&) override { return {}; }
  IoStatus listFiles(const std::string&, std::vector<std::string>&) override { return {}; }
  std::optional<FileTime> modificationTime(const std::string&) override { return {}; }
  std::optional<std::string> absolutePath(const std::string& path) override { return path; }

 private:
  struct File final : UpdatableFile {
    explicit File(OneFile& of) : of_(of) {}
    Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
      if (of_.changing) ++of_.bytes[24];  // the format chunk's sample rate
      return MemorySource(std::as_bytes(std::span(of_.bytes))).readAt(offset, into);
    }
    std::uint64_t size() const override { return of_.bytes.size(); }
    IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> b) override {
      ++of_.writes;
      of_.bytes.replace(offset, b.size(), reinterpret_cast<const char*>(b.data()), b.size());
      return {};
    }
    IoStatus flush() override { return {}; }
    OneFile& of_;
  };
};

// In place, the change is one write, made only when a second scan just
// before it plans the same bytes; anything spread further is refused.
TEST(Formats, InPlaceWritesOnceOrNotAtAll) {
  const std::string wav = canonicalWav(44100, 2, 16, 5000);
  OneFile files(wav);
  const Conversion done = changeInPlace(files, {.path = "f", .change = k90, .durable = true, .write = true});
  EXPECT_TRUE(done.ok()) << message(done.error);
  EXPECT_EQ(files.writes, 1);
  EXPECT_TRUE(files.bytes == withRates(wav, 21, 39690, 158760));

  OneFile changing(wav);
  changing.changing = true;
  const Conversion refused = changeInPlace(changing, {.path = "f", .change = k90, .durable = false, .write = true});
  EXPECT_EQ(message(refused.error), "Could not change f in place: it changed while it was being read. Nothing was written.");
  EXPECT_EQ(changing.writes, 0);

  const std::string farApart = oggVorbis(44100, 2, 1) + oggVorbis(48000, 1, 2, 40, 9000);
  OneFile chained(farApart);
  const Conversion spread = changeInPlace(chained, {.path = "f", .change = k90, .durable = false, .write = true});
  EXPECT_EQ(spread.error.failure, JobFailure::NotInPlace);
  EXPECT_EQ(chained.writes, 0);
  EXPECT_TRUE(chained.bytes == farApart);
}

// Many patches are written into the copy as it goes, block by block; a
// patch across a block's end lands whole.
TEST(Formats, PatchedCopyPutsEveryPatchInItsBlock) {
  const std::string input = pattern(100);
  std::vector<Patch> patches;
  for (std::uint64_t at : {0U, 5U, 13U, 20U, 41U, 84U, 90U})
    patches.push_back(patchAt(at, std::as_bytes(std::span("ABCDEFGHIJ", 10))));
  test::MemoryFiles files;
  files.write("C:\\in", input);
  Opened<InputFile> in = files.openInput("C:\\in");
  Opened<ReplacementFile> out = files.createReplacement("C:\\out");
  ASSERT_TRUE(in.file && out.file);
  std::vector<std::uint64_t> told;
  ASSERT_TRUE(copyPatched(*in.file, *out.file, patches, [&told](std::uint64_t done, std::uint64_t) {
                told.push_back(done);
                return true;
              }, 7).ok());
  ASSERT_TRUE(out.file->commit().ok());
  std::string expected = input;
  applyPatches(std::as_writable_bytes(std::span(expected)), 0, patches);
  EXPECT_EQ(files.read("C:\\out"), expected);
  EXPECT_EQ(told.front(), 0U);
  EXPECT_EQ(told.back(), 100U);
  EXPECT_EQ(told.size(), 16U);
}

// A chained Ogg file of 150 streams has 300 patches: its copy takes them on the way.
// An Ogg file's scan reads it all, so the copy goes on beside it: every
// patch of a long chain lands in the copy, and a damaged page leaves nothing.
TEST(Formats, ConversionBesideTheScanPatchesTheCopyOrLeavesNothing) {
  std::string chain;
  for (std::uint32_t serial = 1; serial <= 150; ++serial) chain += oggVorbis(44100, 2, serial, 20, 100, 1);
  test::MemoryFiles files;
  files.write("C:\\in.ogg", chain);
  const ConversionRequest request{.input = "C:\\in.ogg", .output = "C:\\out.ogg", .factor = 0.9, .existing = {},
                                  .progress = {}};
  const Conversion done = convert(files, request);
  ASSERT_TRUE(done.ok()) << message(done.error);
  EXPECT_EQ(done.plan.patches.size(), 300U);
  EXPECT_TRUE(files.read("C:\\out.ogg") == applied(chain, done.plan));

  files.files.erase("C:\\out.ogg");
  files.write("C:\\in.ogg", replaced(chain, chain.size() - 50, "damage"));
  const Conversion damaged = convert(files, request);
  EXPECT_EQ(damaged.error.failure, JobFailure::Malformed);
  EXPECT_FALSE(files.exists("C:\\out.ogg"));
}

// A FLAC file converts in one pass, but one behind a longer ID3v2 tag than a
// stream reads through (cover art) still converts, as its scan does.
TEST(Formats, FlacBehindALongTagConvertsAsAFile) {
  const std::string file = FlacBuilder().id3v2(std::size_t{17} << 20).frames(3).bytes();
  test::MemoryFiles files;
  files.write("C:\\in.flac", file);
  const Conversion done = convert(files, {.input = "C:\\in.flac", .output = "C:\\out.flac", .factor = 0.9,
                                          .existing = {}, .progress = {}});
  ASSERT_TRUE(done.ok()) << message(done.error);
  EXPECT_TRUE(files.read("C:\\out.flac") == applied(file, plan(file)));
}

// FLAC streams through -c as its copy converts: the same bytes, whatever
// follows the frames (the tags' length is known only at the stream's end). A
// stream that fails part-way has written only frames it checked, patched.
TEST(Formats, FlacStreamsTheSameBytesAsItsCopy) {
  const std::string zeros(300, '\0');
  const std::pair<const char*, std::string> cases[] = {
      {"many frames", FlacBuilder().frames(600, 256).bytes()},
      {"zeros after", FlacBuilder().frames(3).raw(zeros).bytes()},
      {"ID3v2, APEv2 and ID3v1", FlacBuilder().id3v2(20).frames(3).raw(apeTag() + "TAG" + std::string(125, 't')).bytes()},
      {"the rate in Hz", FlacBuilder({.rate = 11025}).frames(40, 512).bytes()},
  };
  for (const auto& [what, file] : cases) {
    const RatePlan p = plan(file);
    ASSERT_TRUE(p.ok()) << what << ": " << p.reason;
    expectChange(what, file, applied(file, p));
  }
  const std::string sound = FlacBuilder().frames(20000, 256).bytes();
  std::string damaged = sound;
  damaged[damaged.size() - 900] ^= 0x10;
  test::MemoryFiles files;
  files.write("C:\\in.flac", damaged);
  const Conversion copied = convert(files, {.input = "C:\\in.flac", .output = "C:\\out.flac", .factor = 0.9,
                                            .existing = {}, .progress = {}});
  EXPECT_EQ(copied.error.failure, JobFailure::Malformed);
  EXPECT_FALSE(files.exists("C:\\out.flac"));
  int told = 0;
  const Conversion cancelled =
      convert(files, {.input = "C:\\in.flac", .output = "C:\\out.flac", .factor = 0.9, .existing = {},
                      .progress = [&told](std::uint64_t, std::uint64_t) { return ++told < 2; }});
  EXPECT_EQ(cancelled.error.failure, JobFailure::Cancelled);
  EXPECT_FALSE(files.exists("C:\\out.flac"));
  const Streamed s = streamed(damaged, 4096);
  EXPECT_EQ(s.change.error.failure, JobFailure::Malformed);
  EXPECT_GT(s.change.error.written, 0U);
  EXPECT_LT(s.change.error.written, damaged.size() - 900);
  EXPECT_TRUE(s.written == applied(sound, plan(sound)).substr(0, s.change.error.written));
}

}  // namespace
}  // namespace vellora
