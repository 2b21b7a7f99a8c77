#include "speed/flac.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "speed/byte_search.h"
#include "speed/flac_crc.h"
#include "speed/memory_source.h"
#include "support/flac_builder.h"

namespace vellora {
namespace {

using test::FlacBuilder;
using test::Frame;
using test::StreamInfo;

// The tables, the folded path for long runs, and a run of zeros appended:
// each against CRCs computed bit by bit, at every length around the steps
// of 16, 64 and 256 bytes and from any CRC before.
TEST(FlacCrc, AgreesWithTheBitwiseReference) {
  std::string data(6000, '\0');
  std::uint32_t seed = 1;
  for (char& c : data) c = static_cast<char>((seed = seed * 1664525 + 1013904223) >> 24);
  const auto bytes = [&](std::size_t n) { return std::span(reinterpret_cast<const std::uint8_t*>(data.data()), n); };
  for (const std::uint16_t before : {std::uint16_t{0x0000}, std::uint16_t{0x8005}, std::uint16_t{0xFFFF}}) {
    for (std::size_t n = 0; n < 1400; ++n)
      ASSERT_EQ(flacCrc16(before, bytes(n)), test::referenceCrc16(std::string_view(data).substr(0, n), before)) << n;
    ASSERT_EQ(flacCrc16(before, bytes(data.size())), test::referenceCrc16(data, before));
    for (const std::uint64_t zeros : {0U, 1U, 2U, 17U, 255U, 256U, 1000U, 65535U, 65536U, 65537U, 1060863U})
      EXPECT_EQ(flacCrc16AppendZeros(before, zeros), test::referenceCrc16(std::string(zeros, '\0'), before)) << zeros;
  }
  for (std::size_t n = 0; n < 40; ++n)
    EXPECT_EQ(flacCrc8(bytes(n)), test::referenceCrc8(std::string_view(data).substr(0, n)));
}

// The sync code's search, whichever of its paths (64 bytes or one a
// step) the length takes: the first pair, a lone first byte at the very end,
// decoys of either byte alone.
TEST(BytePairSearch, FindsTheFirstPairAtAnyPlaceAndLength) {
  std::vector<std::uint8_t> data(400);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = i % 7 == 3 ? 0xFF : i % 7 == 5 ? 0xF8 : 0x12;
  for (std::size_t n = 0; n <= 300; ++n)
    for (const std::size_t at : {std::size_t{0}, n / 3, 2 * n / 3, n > 0 ? n - 1 : 0, std::size_t{299}}) {
      std::vector<std::uint8_t> bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
      if (at + 1 < n) bytes[at] = 0xFF, bytes[at + 1] = 0xF8;
      std::size_t expected = n;
      for (std::size_t i = 0; i < n && expected == n; ++i)
        if (bytes[i] == 0xFF && (i + 1 == n || bytes[i + 1] == 0xF8)) expected = i;
      ASSERT_EQ(findBytePair(bytes, 0xFF, 0xF8), expected) << n << " " << at;
    }
}

RateChange percent(double p) { return {p / 100, std::nullopt}; }
RateChange exactly(std::uint32_t rate) { return {1.0, rate}; }

RatePlan plan(const std::string& bytes, const RateChange& change, const CopyProgress& progress = {},
              std::uint64_t start = 0) {
  MemorySource source(std::as_bytes(std::span(bytes)));
  ScanInput input(source, progress);
  return planFlac(input, start, change);
}

// The file with the plan's patches written into it, as the conversion writes
// them into the copy; checks that they lie in the file, in order, apart.
std::string applied(std::string bytes, const RatePlan& p) {
  std::uint64_t end = 0;
  for (const Patch& patch : p.patches) {
    EXPECT_GE(patch.offset, end) << "patches in increasing order, none overlapping";
    EXPECT_LE(patch.offset + patch.size, bytes.size());
    std::memcpy(bytes.data() + patch.offset, patch.view().data(), patch.size);
    end = patch.offset + patch.size;
  }
  return bytes;
}

// A stream of `count` frames, the last one `lastBlockSize` samples long when
// that is set; codes as a writer chooses them unless given.
struct Stream {
  std::uint32_t rate = 44100;
  std::optional<std::uint8_t> rateCode = std::nullopt;
  std::uint32_t blockSize = 4096;
  std::optional<std::uint8_t> blockSizeCode = std::nullopt;
  std::size_t count = 3;
  std::uint32_t lastBlockSize = 0;
  std::optional<std::uint8_t> lastBlockSizeCode = std::nullopt;

  std::string bytes() const {
    StreamInfo info;
    info.rate = rate;
    info.minBlockSize = info.maxBlockSize = static_cast<std::uint16_t>(blockSize);
    FlacBuilder file(info);
    for (std::size_t i = 0; i < count; ++i) {
      const bool last = i + 1 == count && lastBlockSize;
      Frame f;
      f.number = i;
      f.blockSize = last ? lastBlockSize : blockSize;
      f.blockSizeCode = last ? lastBlockSizeCode : blockSizeCode;
      f.rate = rate;
      f.rateCode = rateCode;
      f.subframes = test::constantSubframes(2, 16, static_cast<std::uint32_t>(0x0101 * i));
      file.frame(f);
    }
    return file.bytes();
  }
};

// Every form a header can give the rate in, from one to another of the same
// length: the whole copy equals the stream as a writer would have made it at
// the new rate in that form, CRCs computed bit by bit.
TEST(PlanFlac, RewritesEveryFrameHeaderInAFormOfTheSameLength) {
  struct Case {
    const char* what;
    Stream before;
    RateChange change;
    Stream after;
  };
  const std::vector<Case> cases = {
      {"a common rate to a common rate", {.rate = 48000}, percent(50), {.rate = 24000}},
      {"a common rate to one without a code: STREAMINFO's",
       {.rate = 44100}, percent(90), {.rate = 39690, .rateCode = 0x0}},
      {"kHz to kHz", {.rate = 12000}, percent(50), {.rate = 6000, .rateCode = 0xC}},
      {"Hz to Hz", {.rate = 11025}, percent(90), {.rate = 9922, .rateCode = 0xD}},
      {"tens of Hz to tens of Hz", {.rate = 384000}, percent(90), {.rate = 345600, .rateCode = 0xE}},
      {"Hz to a common rate, still in 16 bits",
       {.rate = 11025}, exactly(44100), {.rate = 44100, .rateCode = 0xE}},
      {"kHz to STREAMINFO's, the block size taking the spare byte",
       {.rate = 12000, .blockSize = 256}, percent(90),
       {.rate = 10800, .rateCode = 0x0, .blockSize = 256, .blockSizeCode = 0x6}},
      {"tens of Hz to STREAMINFO's, the block size taking the spare bytes",
       {.rate = 384000}, exactly(349441), {.rate = 349441, .rateCode = 0x0, .blockSizeCode = 0x7}},
      {"an uncommon last block keeps its form",
       {.rate = 96000, .lastBlockSize = 1000}, percent(90), {.rate = 86400, .rateCode = 0x0, .lastBlockSize = 1000}},
      {"frames that take the rate from STREAMINFO stay",
       {.rate = 44100, .rateCode = 0x0}, percent(90), {.rate = 39690, .rateCode = 0x0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string input = c.before.bytes();
    const RatePlan p = plan(input, c.change);
    ASSERT_TRUE(p.ok()) << p.reason;
    EXPECT_EQ(p.format, AudioFormat::Flac);
    EXPECT_EQ(applied(input, p), c.after.bytes());
    EXPECT_EQ(p.after.sampleRate, c.after.rate);
  }
}

TEST(PlanFlac, SaysWhatItPatchedAndWhereTheStreamLeavesTheSubset) {
  const RatePlan p = plan(Stream{.rate = 44100}.bytes(), percent(90));
  ASSERT_TRUE(p.ok()) << p.reason;
  const std::vector<std::string> expected = {
      "STREAMINFO: 44100 Hz -> 39690 Hz",
      "3 frame headers now take the rate from STREAMINFO, as 39690 Hz has no code of their length: "
      "the stream leaves FLAC's streamable subset",
      "the CRC-8 and CRC-16 of 3 frames recomputed",
  };
  EXPECT_EQ(p.notes, expected);
}

// No header of the same length can give the new rate: moving every frame is
// not what a speed change does, so the user hears why and which rate fits.
TEST(PlanFlac, RefusesARateNoHeaderOfTheSameLengthCanGive) {
  struct Case {
    const char* what;
    Stream before;
    RateChange change;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"kHz in one byte", {.rate = 12000}, percent(90),
       "its frame at offset 42 gives the rate in one byte, in kHz, and 10800 Hz cannot be written there "
       "without moving every frame; 11000 Hz can"},
      {"a last frame whose block size already takes two bytes",
       {.rate = 11025, .lastBlockSize = 1000}, exactly(70001),
       "its frame at offset 74 gives the rate in two bytes, in Hz or in tens of Hz, and 70001 Hz cannot be "
       "written there without moving every frame; 70000 Hz can"},
      {"above what two bytes give", {.rate = 352800, .lastBlockSize = 1000}, exactly(655360),
       "its frame at offset 74 gives the rate in two bytes, in Hz or in tens of Hz, and 655360 Hz cannot be "
       "written there without moving every frame; 655350 Hz can"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RatePlan p = plan(c.before.bytes(), c.change);
    EXPECT_EQ(p.failure, PlanFailure::RateOutOfRange);
    EXPECT_EQ(p.reason, c.reason);
    EXPECT_TRUE(p.patches.empty());
    EXPECT_TRUE(p.notes.empty());
  }
}

// ffmpeg takes a frame whose rate form differs from its neighbour's for a
// false start, so when one frame can only take the new rate from STREAMINFO,
// every frame does, or the rate is refused with one that works.
TEST(PlanFlac, GivesEveryFrameTheRateInOneForm) {
  const auto stream = [](std::uint32_t rate, std::optional<std::uint8_t> rateCode, std::optional<std::uint8_t> sizeCode) {
    FlacBuilder file(StreamInfo{.rate = rate});
    for (std::uint32_t i = 0; i < 3; ++i)
      file.frame({.number = i, .blockSize = i < 2 ? 4096U : 1000U, .blockSizeCode = i < 2 ? sizeCode : std::optional<std::uint8_t>(7),
                  .rate = rate, .rateCode = i < 2 ? rateCode : std::optional<std::uint8_t>(),
                  .subframes = test::constantSubframes(2, 16, i)});
    return file.bytes();
  };
  const std::string sixteenBitSizes = stream(44100, std::nullopt, 7);
  const RatePlan p = plan(sixteenBitSizes, percent(90));
  ASSERT_TRUE(p.ok()) << p.reason;
  FlacBuilder expected(StreamInfo{.rate = 39690});
  for (std::uint32_t i = 0; i < 3; ++i)
    expected.frame({.number = i, .blockSize = i < 2 ? 4096U : 1000U, .blockSizeCode = 7, .rate = 39690,
                    .rateCode = 0, .subframes = test::constantSubframes(2, 16, i)});
  EXPECT_EQ(applied(sixteenBitSizes, p), expected.bytes());

  const RatePlan refused = plan(stream(48000, 0xC, std::nullopt), exactly(43000));
  EXPECT_EQ(refused.reason, "some of its frames can give 43000 Hz only by taking it from STREAMINFO, and its frame "
                            "at offset 42 cannot take it so without moving every frame; frames that change their "
                            "form are misread by decoders such as ffmpeg's; 32000 Hz can");
}

TEST(PlanFlac, RefusesRatesOutsideStreamInfosTwentyBits) {
  const std::string input = Stream{.rate = 44100}.bytes();
  for (const RateChange& change : {exactly(0), exactly(1048576), percent(2400)}) {
    const RatePlan p = plan(input, change);
    EXPECT_EQ(p.failure, PlanFailure::RateOutOfRange) << p.reason;
    EXPECT_TRUE(p.patches.empty());
  }
  EXPECT_EQ(plan(input, percent(2400)).reason,
            "the new rate, 1058400 Hz, is outside what FLAC can store (1 Hz to 1048575 Hz)");
  const RatePlan highest = plan(input, exactly(1048575));
  ASSERT_TRUE(highest.ok()) << highest.reason;
  EXPECT_EQ(applied(input, highest), (Stream{.rate = 1048575, .rateCode = 0x0}.bytes()));

  const RatePlan silent = plan(Stream{.rate = 0, .rateCode = 0x0}.bytes(), exactly(8000));
  EXPECT_EQ(silent.failure, PlanFailure::Unsupported);
}

// A variable block size stream numbers its frames by their first sample; the
// verbatim samples of one frame hold the very header the next frame would
// have, CRC-8 and number right: only the CRC-16 before it tells it is audio.
TEST(PlanFlac, FindsFramesByNumberAndCrcNotBySyncCodesInTheSamples) {
  const auto build = [](std::uint32_t rate, std::optional<std::uint8_t> rateCode) {
    StreamInfo info{.minBlockSize = 16, .maxBlockSize = 64, .rate = rate, .channels = 1, .bitsPerSample = 8};
    FlacBuilder file(info, true);
    Frame decoy{.number = 40, .blockSize = 24, .rate = 44100, .channelsCode = 0, .bitsCode = 1};
    const std::string fake = test::frameHeader(decoy, true);
    std::uint64_t sample = 0;
    for (const std::uint32_t blockSize : {16U, 24U, 64U, 16U, 17U}) {
      std::string samples(blockSize, '\x11');
      if (sample == 16) samples.replace(4, fake.size(), fake);  // frame 1 at sample 16 ends at 40
      file.frame({.number = sample, .blockSize = blockSize, .rate = rate, .rateCode = rateCode,
                  .channelsCode = 0, .bitsCode = 1, .subframes = test::verbatim8(samples)});
      sample += blockSize;
    }
    return file.bytes();
  };
  const std::string input = build(44100, std::nullopt);
  const RatePlan p = plan(input, percent(50));
  ASSERT_TRUE(p.ok()) << p.reason;
  EXPECT_EQ(applied(input, p), build(22050, std::nullopt));
  EXPECT_EQ(p.patches.size(), 1 + 2 * 5U);
}

// The ID3v1 tag ends in its own CRC-16, so that the last frame's CRC also
// comes out right at the end of the file: the tag still tells where it ends.
TEST(PlanFlac, SkipsAnId3v2TagOtherBlocksAndAnId3v1TagAtTheEnd) {
  const std::string tagText = "TAG" + std::string(123, 'x');
  const std::uint16_t tagCrc = test::referenceCrc16(tagText);
  const std::string tag = tagText + static_cast<char>(tagCrc >> 8) + static_cast<char>(tagCrc & 0xFF);
  const auto build = [&](std::uint32_t rate) {
    StreamInfo info{.rate = rate, .totalSamples = 3 * 4096};
    return FlacBuilder(info)
        .id3v2(300)
        .block(1, std::string(100, '\0'))
        .block(4, std::string("\x05\0\0\0Tests\0\0\0\0", 13))
        .frames(3)
        .raw(tag)
        .bytes();
  };
  const std::string input = build(48000);
  const RatePlan p = plan(input, percent(50), {}, 310);
  ASSERT_TRUE(p.ok()) << p.reason;
  EXPECT_EQ(applied(input, p), build(24000));
  EXPECT_EQ(p.patches.front().offset, 310 + 4 + 4 + 10U);
  EXPECT_EQ(p.notes.front(), "an ID3v2 tag of 310 bytes before the stream stays as it is");
}

// What may follow or lie between frames: the copy is the stream at the new
// rate with the same bytes around its frames, every footer where it was.
TEST(PlanFlac, LeavesZerosAndAnApeTagAroundTheFramesAndReadsOldNumberings) {
  const std::string zeros(300, '\0');
  struct Case {
    const char* what;
    std::function<std::string(std::uint32_t)> build;
  };
  const std::vector<Case> cases = {
      {"zeros after the last frame", [&](std::uint32_t r) {
         return FlacBuilder({.rate = r}).frames(3).raw(zeros).bytes(); }},
      {"zeros between frames", [&](std::uint32_t r) {
         return FlacBuilder({.rate = r}).frames(2).raw(zeros).frames(2, 4096, 2).raw(zeros.substr(0, 3)).bytes(); }},
      {"an APEv2 tag and an ID3v1 tag", [&](std::uint32_t r) {
         return FlacBuilder({.rate = r}).frames(2).raw(test::apeTag() + "TAG" + std::string(125, ' ')).bytes(); }},
      {"zeros then an APEv2 tag", [&](std::uint32_t r) {
         return FlacBuilder({.rate = r}).frames(2).raw(zeros + test::apeTag()).bytes(); }},
      {"fixed blocking numbered by sample, as old encoders did", [&](std::uint32_t r) {
         FlacBuilder file({.minBlockSize = 1152, .maxBlockSize = 4608, .rate = r});
         for (const std::uint64_t n : {0U, 4608U, 9216U})
           file.frame({.number = n, .blockSize = 4608, .rate = r, .subframes = test::constantSubframes(2, 16, 7)});
         return file.bytes(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string input = c.build(48000);
    const RatePlan p = plan(input, percent(50));
    ASSERT_TRUE(p.ok()) << p.reason;
    EXPECT_EQ(applied(input, p), c.build(24000));
  }
}

TEST(FlacFrames, AreRecognisedByTheirHeadersAlone) {
  const std::string frame = test::frameBytes({.number = 7, .rate = 39690});
  const auto head = [](const std::string& b) { return std::as_bytes(std::span(b)).first(std::min<std::size_t>(b.size(), 16)); };
  EXPECT_TRUE(looksLikeFlacFrames(head(frame)));
  EXPECT_TRUE(looksLikeFlacFrames(head(test::frameBytes({.number = 4096}, true))));
  std::string damaged = frame;
  damaged[2] = static_cast<char>(damaged[2] ^ 1);
  EXPECT_FALSE(looksLikeFlacFrames(head(damaged)));
  EXPECT_FALSE(looksLikeFlacFrames(head(std::string("\xFF\xF1\x50\x80\x02\x1F\xFC", 7))));  // AAC in ADTS
}

TEST(PlanFlac, TellsTheSixValuesOfTheDecodedSamples) {
  StreamInfo info{.rate = 96000, .channels = 2, .bitsPerSample = 24};
  const std::string input = FlacBuilder(info).frames(2).bytes();
  const RatePlan p = plan(input, percent(90));
  ASSERT_TRUE(p.ok()) << p.reason;
  EXPECT_EQ(p.before.containerSize, static_cast<std::int64_t>(input.size()));
  EXPECT_EQ(p.before.channels, 2);
  EXPECT_EQ(p.before.bitsPerSample, 24);
  EXPECT_EQ(p.before.blockAlign, 6);
  EXPECT_EQ(p.before.sampleRate, 96000);
  EXPECT_EQ(p.before.byteRate, 576000);
  EXPECT_EQ(p.after.sampleRate, 86400);
  EXPECT_EQ(p.after.byteRate, 518400);
  EXPECT_EQ(p.after.containerSize, p.before.containerSize);
}

// Whatever is wrong, the whole file is refused: no plan for half the frames.
TEST(PlanFlac, RefusesFilesWhoseFramesCannotBeWalked) {
  const std::string good = Stream{}.bytes();
  const std::size_t firstFrame = 4 + 4 + 34;
  const std::size_t secondFrame = firstFrame + test::frameBytes({.subframes = test::constantSubframes(2, 16, 0)}).size();
  auto flipped = [&](std::size_t at) {
    std::string bytes = good;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    PlanFailure failure;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"empty", "", PlanFailure::NotRecognised, "it does not begin with \"fLaC\""},
      {"a WAV file", "RIFF\x24\0\0\0WAVEfmt ", PlanFailure::NotRecognised, "it does not begin with \"fLaC\""},
      {"metadata cut short", good.substr(0, 30), PlanFailure::Malformed,
       "a metadata block runs past the end of the file"},
      {"no STREAMINFO first", FlacBuilder().bytes().replace(4, 1, "\x81"), PlanFailure::Malformed,
       "its first metadata block is not a STREAMINFO block"},
      {"bytes before the first frame", good.substr(0, firstFrame) + std::string(1, '\0') + good.substr(firstFrame),
       PlanFailure::Malformed, "no audio frame begins where its metadata ends, at offset 42"},
      {"a damaged sample", flipped(secondFrame - 4), PlanFailure::Malformed,
       "its frame at offset 42 does not end with a valid CRC-16: the file is cut short or damaged"},
      {"a damaged header", flipped(secondFrame + 2), PlanFailure::Malformed,
       "its frame at offset 42 does not end with a valid CRC-16: the file is cut short or damaged"},
      {"cut short", good.substr(0, good.size() - 1), PlanFailure::Malformed,
       "its frame at offset 70 does not end with a valid CRC-16: the file is cut short or damaged"},
      {"a frame missing", good.substr(0, secondFrame) + good.substr(secondFrame + 14), PlanFailure::Malformed,
       "its frame at offset 56 is numbered 2 where 1 should follow: a frame is missing or out of order"},
      {"a frame at another rate", FlacBuilder().frames(1).frame({.number = 1, .rate = 48000}).bytes(),
       PlanFailure::Malformed, "its frame at offset 56 gives 48000 Hz where STREAMINFO gives 44100 Hz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RatePlan p = plan(c.bytes, percent(90));
    EXPECT_EQ(p.failure, c.failure);
    EXPECT_EQ(p.reason, c.reason);
    EXPECT_TRUE(p.patches.empty());
  }
}

// The scan reads 4 MiB at a time: frames end and begin on every byte around
// the end of the first read, and the plan stays the same.
TEST(PlanFlac, WalksFramesAcrossItsReads) {
  const std::size_t window = std::size_t{4} << 20;
  const Frame head{.rate = 44100, .channelsCode = 0, .bitsCode = 1};
  const Frame newHead{.rate = 39690, .rateCode = 0x0, .channelsCode = 0, .bitsCode = 1};
  const std::string bulk(window - 64, '\x5A');
  const std::string header = test::frameHeader(head), newHeader = test::frameHeader(newHead);
  const std::uint16_t crcBefore = test::referenceCrc16(header + bulk);
  const std::uint16_t crcAfter = test::referenceCrc16(newHeader + bulk);
  const auto be16 = [](std::uint16_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; };
  const StreamInfo info{.rate = 44100, .channels = 1, .bitsPerSample = 8};
  const StreamInfo newInfo{.rate = 39690, .channels = 1, .bitsPerSample = 8};

  for (std::size_t tail = 52; tail <= 76; ++tail) {
    SCOPED_TRACE(tail);
    // The first frame's tail decides where the second one begins.
    const std::string end(tail, '\x33');
    const auto build = [&](const StreamInfo& i, const std::string& h, std::uint16_t crc, Frame next) {
      FlacBuilder file(i);
      file.raw(h + bulk + end + be16(test::referenceCrc16(end, crc)));
      for (std::uint64_t n = 1; n < 4; ++n) {
        next.number = n;
        next.subframes = test::verbatim8(std::string(n * 1000, '\x77'));
        file.frame(next);
      }
      return file.bytes();
    };
    const std::string input = build(info, header, crcBefore, head);
    std::vector<std::uint64_t> told;
    const RatePlan p = plan(input, percent(90), [&](std::uint64_t done, std::uint64_t total) {
      EXPECT_EQ(total, input.size());
      told.push_back(done);
      return true;
    });
    ASSERT_TRUE(p.ok()) << p.reason;
    ASSERT_EQ(applied(input, p), build(newInfo, newHeader, crcAfter, newHead));
    EXPECT_FALSE(told.empty());
  }
}

TEST(PlanFlac, StopsWhenTheProgressAsks) {
  const std::string input = Stream{.count = 500}.bytes();
  const RatePlan p = plan(input, percent(90), [](std::uint64_t, std::uint64_t) { return false; });
  EXPECT_EQ(p.failure, PlanFailure::Cancelled);
  EXPECT_TRUE(p.patches.empty());
}

}  // namespace
}  // namespace vellora
