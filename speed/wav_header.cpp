#include "speed/wav_header.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "shellfiles/numbers.h"
#include "speed/chunk_walk.h"
#include "speed/header_text.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr FourCC kBigEndianRiffId{'R', 'I', 'F', 'X'};
constexpr std::uint32_t kShortestFormat = 12;

FourCC fourcc(const std::byte* p) {
  FourCC id;
  std::memcpy(id.data(), p, id.size());
  return id;
}

std::int32_t signed32(std::uint32_t v) { return static_cast<std::int32_t>(v); }
std::int16_t signed16(std::uint16_t v) { return static_cast<std::int16_t>(v); }

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

// Reads exactly into.size() bytes; anything less ends the scan. A stream
// learns only at its end that a chunk ran past it.
bool readExactly(ScanInput& input, std::uint64_t offset, std::span<std::byte> into,
                 HeaderScan& scan) {
  const std::span<const std::byte> got = input.read(offset, into.size());
  if (input.failed()) {
    scan.end = ScanEnd::ReadFailed;
    scan.readStatus = input.cancelled() ? IoStatus::cancelled() : input.status();
    return false;
  }
  std::copy(got.begin(), got.end(), into.begin());
  if (got.size() < into.size()) {
    scan.end = offset > input.size() ? ScanEnd::ChunkPastEnd : ScanEnd::ShortFile;
    return false;
  }
  return true;
}

bool inRange(double rate) { return rate >= 1.0 && rate <= kLargestRate; }

struct Timing {
  double sampleRate;
  double byteRate;
};

Timing newTiming(const FormatBody& body, const RateChange& change, std::uint16_t codec) {
  const double sampleRate = change.newRate(body.sampleRate);
  const bool framesOnly = (codec == kPcm || codec == kFloat) &&
                          std::int64_t{body.byteRate} == std::int64_t{body.sampleRate} * body.blockAlign;
  // Rounding the byte rate on its own would leave it a little off the
  // sample rate times the block align, which strict readers refuse.
  const double byteRate = framesOnly ? sampleRate * body.blockAlign
                                     : scaledAlong(body.byteRate, body.sampleRate, change);
  return {sampleRate, byteRate};
}

std::string rateProblem(const FormatBody& body, const RateChange& change, std::uint16_t codec) {
  if (!change.exactRate && std::isinf(change.factor))
    return change.factor > 0 ? "the percentage is too large" : "the percentage is too far below zero";
  const Timing timing = newTiming(body, change, codec);
  if (!inRange(timing.sampleRate)) return rateDoesNotFit("a sample rate", timing.sampleRate, "WAV", kLargestRate) + " Hz";
  return rateDoesNotFit("a byte rate", timing.byteRate, "WAV", kLargestRate);
}

// RF64's ds64 chunk: the RIFF size, then the data chunk's, 64 bits each.
std::optional<std::uint64_t> ds64DataSize(ScanInput& input, const Chunk& ds64) {
  if (ds64.size < 16) return std::nullopt;
  const std::span<const std::byte> sizes = input.read(ds64.body + 8, 8);
  return sizes.size() == 8 ? std::optional(read_u64le(sizes.data())) : std::nullopt;
}


AudioFormat wavFormatOf(const FourCC& id) {
  if (id == kBigEndianRiffId) return AudioFormat::Rifx;
  if (id == FourCC{'R', 'F', '6', '4'}) return AudioFormat::Rf64;
  if (id == FourCC{'B', 'W', '6', '4'}) return AudioFormat::Bw64;
  return AudioFormat::Wav;
}

}  // namespace

FormatBody FormatBody::decode(std::span<const std::byte, bytes> raw, ByteOrder order) {
  const std::byte* p = raw.data();
  FormatBody b;
  b.formatTag = signed16(read_u16(p, order));
  b.channels = signed16(read_u16(p + 2, order));
  b.sampleRate = signed32(read_u32(p + 4, order));
  b.byteRate = signed32(read_u32(p + 8, order));
  b.blockAlign = signed16(read_u16(p + 12, order));
  b.bitsPerSample = signed16(read_u16(p + 14, order));
  return b;
}

std::array<std::byte, FormatBody::bytes> FormatBody::encode(ByteOrder order) const {
  std::array<std::byte, bytes> raw{};
  std::byte* p = raw.data();
  write_u16(p, static_cast<std::uint16_t>(formatTag), order);
  write_u16(p + 2, static_cast<std::uint16_t>(channels), order);
  write_u32(p + 4, static_cast<std::uint32_t>(sampleRate), order);
  write_u32(p + 8, static_cast<std::uint32_t>(byteRate), order);
  write_u16(p + 12, static_cast<std::uint16_t>(blockAlign), order);
  write_u16(p + 14, static_cast<std::uint16_t>(bitsPerSample), order);
  return raw;
}

HeaderScan scanHeader(ByteSource& file, bool failureRecorded) {
  ScanInput input(file);
  return scanHeader(input, failureRecorded);
}

HeaderScan scanHeader(ScanInput& input, bool failureRecorded, std::uint64_t start) {
  HeaderScan scan;

  // The RIFF header is logged whatever it holds; its letters are not checked,
  // so RF64 and other RIFF-like files scan the same way. Bytes past a short
  // file's end stay zero.
  std::array<std::byte, RiffHeader::bytes> riff{};
  const bool wholeRiff = readExactly(input, start, riff, scan);
  scan.riff.id = fourcc(riff.data());
  if (scan.riff.id == kBigEndianRiffId) scan.order = ByteOrder::Big;
  scan.riff.size = signed32(read_u32(riff.data() + 4, scan.order));
  scan.riff.format = fourcc(riff.data() + 8);
  if (!wholeRiff) return scan;

  ChunkWalk walk(input, scan.order == ByteOrder::Big ? ChunkLayout::Rifx : ChunkLayout::Riff, start + RiffHeader::bytes);
  while (const std::optional<Chunk> chunk = walk.next()) {
    if (chunk->is("fmt ")) {
      scan.formatSize = static_cast<std::uint32_t>(chunk->size);
      // The rates end at body byte 12; the bytes after them up to 16 are
      // written back as they were read, so a shorter chunk changes nothing outside it.
      if (chunk->size < kShortestFormat) {
        scan.end = ScanEnd::FormatTooShort;
        return scan;
      }
      std::array<std::byte, FormatBody::bytes> body{};
      if (!readExactly(input, chunk->body, body, scan)) return scan;
      scan.format = FormatBody::decode(body, scan.order);
      scan.formatPosition = static_cast<std::int64_t>(chunk->body) + 1;
      scan.end = ScanEnd::FormatFound;
      return scan;
    }
    if (chunk->is("data")) {
      scan.end = ScanEnd::DataBeforeFormat;
      return scan;
    }
    if (chunk->is("ds64")) {
      if (std::optional<std::uint64_t> size = ds64DataSize(input, *chunk)) walk.setDataSize(*(scan.dataSize64 = size));
    }
    // "fact", "JUNK", "LIST", "bext", "ds64", ...: skipped.
    ++scan.skippedChunks;
    if (failureRecorded) {
      scan.end = ScanEnd::Stopped;
      return scan;
    }
  }
  switch (walk.end()) {
    case WalkEnd::PastEnd:
    case WalkEnd::BadSize: scan.end = ScanEnd::ChunkPastEnd; break;
    case WalkEnd::ReadFailed:
      scan.end = ScanEnd::ReadFailed;
      scan.readStatus = input.cancelled() ? IoStatus::cancelled() : input.status();
      break;
    default: scan.end = ScanEnd::ShortFile;
  }
  return scan;
}

std::optional<std::int32_t> scaledRate(std::int32_t rate, double factor) {
  // nearbyint rounds halves to even in the default rounding mode.
  const double scaled = std::nearbyint(static_cast<double>(rate) * factor);
  if (!inRange(scaled)) return std::nullopt;
  return static_cast<std::int32_t>(scaled);
}

std::optional<FormatBody> scaleTiming(const FormatBody& body, const RateChange& change,
                                      std::uint16_t codec) {
  const Timing timing = newTiming(body, change, codec);
  if (!inRange(timing.sampleRate) || !inRange(timing.byteRate)) return std::nullopt;
  FormatBody scaled = body;
  scaled.sampleRate = static_cast<std::int32_t>(timing.sampleRate);
  scaled.byteRate = static_cast<std::int32_t>(timing.byteRate);
  return scaled;
}

IoStatus patchFormat(ReplacementFile& out, const HeaderScan& scan, const FormatBody& body) {
  if (!scan.found()) return IoStatus::failure("no format chunk to patch");
  const std::array<std::byte, FormatBody::bytes> raw = body.encode(scan.order);
  return out.writeAt(bodyOffset(scan), raw);
}

std::string_view describe(ScanEnd end) {
  switch (end) {
    case ScanEnd::FormatFound: return "the format chunk was found";
    case ScanEnd::ShortFile: return "the file ends before a format chunk";
    case ScanEnd::DataBeforeFormat: return "its data chunk comes before the format chunk";
    case ScanEnd::ChunkPastEnd: return "a chunk runs past the end of the file";
    case ScanEnd::FormatTooShort: return "its format chunk is too short";
    case ScanEnd::ReadFailed: return "it could not be read";
    case ScanEnd::Stopped: return "the scan stopped after an earlier failure";
  }
  return "unknown";
}

}  // namespace vellora

namespace vellora {

AudioSummary summaryOf(const HeaderScan& scan) {
  const FormatBody& f = scan.format;
  return {.containerSize = scan.riff.size,
          .blockAlign = f.blockAlign,
          .byteRate = f.byteRate,
          .bitsPerSample = f.bitsPerSample,
          .channels = f.channels,
          .sampleRate = static_cast<double>(f.sampleRate)};
}

std::uint16_t codecOf(ScanInput& input, const FormatBody& body, std::uint64_t bodyAt,
                      std::uint32_t formatSize, ByteOrder order) {
  const auto tag = static_cast<std::uint16_t>(body.formatTag);
  if (tag != kExtensible || formatSize < 26) return tag;
  const std::span<const std::byte> sub = input.read(bodyAt + 24, 2);
  return sub.size() == 2 ? read_u16(sub.data(), order) : tag;
}

bool planFormatBody(RatePlan& plan, const FormatBody& body, ByteOrder order, std::uint64_t bodyAt,
                    std::uint16_t codec, const RateChange& change) {
  if (refuseOddRate(plan, body.sampleRate)) return false;
  const std::optional<FormatBody> scaled = scaleTiming(body, change, codec);
  if (!scaled) {
    fail(plan, PlanFailure::RateOutOfRange, rateProblem(body, change, codec));
    return false;
  }
  plan.after = plan.before;
  plan.after.sampleRate = scaled->sampleRate;
  plan.after.byteRate = scaled->byteRate;
  // Only the two rates, bytes 4 to 11 of the body, change.
  const std::array<std::byte, FormatBody::bytes> raw = scaled->encode(order);
  plan.patches.push_back(patchAt(bodyAt + 4, std::span(raw).subspan(4, 8)));
  return true;
}

namespace {

constexpr std::uint64_t kSamplePeriodAt = 8;  // in a smpl chunk, after manufacturer and product
constexpr std::uint64_t kLargestGuano = 1 << 16;

// A sampler's smpl chunk gives the time of one sample, in nanoseconds.
void planSamplePeriod(RatePlan& plan, ScanInput& input, const Chunk& smpl, ByteOrder order) {
  if (smpl.size < kSamplePeriodAt + 4) return;
  const double period = std::min(std::nearbyint(1e9 / plan.after.sampleRate), 4294967295.0);
  std::array<std::byte, 4> raw{};
  write_u32(raw.data(), static_cast<std::uint32_t>(period), order);
  // A chunk cut short by the file's end has no period to change.
  const std::span<const std::byte> old = input.read(smpl.body + kSamplePeriodAt, 4);
  if (old.size() < 4 || std::equal(old.begin(), old.end(), raw.begin())) return;
  plan.patches.push_back(patchAt(smpl.body + kSamplePeriodAt, raw));
  plan.notes.push_back("sample period of the smpl chunk at " + offsetText(smpl.offset));
}

// GUANO (bat recordings) keeps the rate at recording; its TE, the time
// expansion, follows a change by a whole factor so that analysis still shows
// each call at its true frequency.
void planGuano(RatePlan& plan, ScanInput& input, const Chunk& guan) {
  const std::string where = "GUANO metadata at " + offsetText(guan.offset);
  const auto leftAlone = [&](const std::string& why) { plan.notes.push_back(where + " left as it was: " + why); };
  if (guan.size > kLargestGuano) return leftAlone("it is longer than 64 KiB");
  const std::span<const std::byte> raw = input.read(guan.body, static_cast<std::size_t>(guan.size));
  if (raw.size() < guan.size) return;
  const std::string text(reinterpret_cast<const char*>(raw.data()), raw.size());
  const std::optional<TextField> te = findField(text, "TE", ":");
  if (!te) return leftAlone("it has no TE field");
  std::uint64_t expansion = 0;
  const auto [stop, error] = std::from_chars(text.data() + te->begin, text.data() + te->end, expansion);
  if (error != std::errc() || stop != text.data() + te->end || expansion == 0)
    return leftAlone("its TE is not a whole number");
  const double slower = plan.before.sampleRate / plan.after.sampleRate;
  const double faster = plan.after.sampleRate / plan.before.sampleRate;
  std::uint64_t newExpansion = 0;
  if (slower >= 1 && slower == std::floor(slower) && slower <= 1e6)
    newExpansion = expansion * static_cast<std::uint64_t>(slower);
  else if (faster > 1 && faster == std::floor(faster) && expansion % static_cast<std::uint64_t>(faster) == 0)
    newExpansion = expansion / static_cast<std::uint64_t>(faster);
  else
    return leftAlone("the new rate is not the old one divided by a whole number");
  const std::optional<std::string> rewritten =
      replacedInPlace(text, te->begin, te->end, std::to_string(newExpansion));
  if (!rewritten) return leftAlone("there is no room for TE: " + std::to_string(newExpansion));
  patchDifferences(plan.patches, guan.body, text, *rewritten);
  plan.notes.push_back("TE of the " + where + ": " + std::to_string(newExpansion));
}

// What follows the first format chunk: further format chunks, which readers
// differ in taking, so every one changes; and the rate's other witnesses. It
// is walked as far as its chunks hold together: past a damaged chunk no
// reader finds another.
bool planLaterChunks(RatePlan& plan, ScanInput& input, const HeaderScan& scan, const RateChange& change) {
  ChunkWalk walk(input, scan.order == ByteOrder::Big ? ChunkLayout::Rifx : ChunkLayout::Riff, bodyOffset(scan) - ChunkHeader::bytes);
  (void)walk.next();  // the first format chunk
  if (scan.dataSize64) walk.setDataSize(*scan.dataSize64);
  while (const std::optional<Chunk> chunk = walk.next(plan.patches)) {
    if (chunk->is("smpl")) planSamplePeriod(plan, input, *chunk, scan.order);
    if (chunk->is("guan")) planGuano(plan, input, *chunk);
    if (chunk->is("iXML"))
      plan.notes.push_back("iXML chunk at " + offsetText(chunk->offset) + " left as it was (its SPEED block keeps the recorded rates)");
    if (!chunk->is("fmt ") || chunk->size < kShortestFormat) continue;
    const std::span<const std::byte> raw = input.read(chunk->body, FormatBody::bytes);
    if (raw.size() < FormatBody::bytes) break;
    const FormatBody body = FormatBody::decode(raw.first<FormatBody::bytes>(), scan.order);
    const std::uint16_t codec =
        codecOf(input, body, chunk->body, static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk->size, 0xFFFFFFFF)), scan.order);
    const AudioSummary after = plan.after;
    if (!planFormatBody(plan, body, scan.order, chunk->body, codec, change)) return false;
    plan.after = after;
    plan.notes.push_back("another format chunk at " + offsetText(chunk->offset));
  }
  if (input.failed()) {
    failShortRead(plan, input, {});
    return false;
  }
  return true;
}

}  // namespace

RatePlan planWav(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  const HeaderScan scan = scanHeader(input, false, start);
  plan.format = wavFormatOf(scan.riff.id);
  plan.before = summaryOf(scan);
  // A copy that fails logs what the first chunk alone says, as the scan after a failure reads no further.
  if (scan.skippedChunks > 0) {
    HeaderScan stopped = scan;
    stopped.format = {};
    plan.beforeFailedCopy = summaryOf(stopped);
  }
  if (scan.end == ScanEnd::ReadFailed) return failShortRead(plan, input, {});
  if (!scan.found())
    return fail(plan, scan.end == ScanEnd::FormatTooShort ? PlanFailure::Malformed : PlanFailure::NotRecognised,
                std::string(describe(scan.end)));
  const std::uint16_t codec = codecOf(input, scan.format, bodyOffset(scan), scan.formatSize, scan.order);
  if (!planFormatBody(plan, scan.format, scan.order, bodyOffset(scan), codec, change)) return plan;
  plan.notes.push_back("format chunk at offset " + std::to_string(bodyOffset(scan) - ChunkHeader::bytes) +
                       ", " + std::to_string(scan.skippedChunks) +
                       (scan.skippedChunks == 1 ? " chunk" : " chunks") + " skipped before it");
  planLaterChunks(plan, input, scan, change);
  return plan;
}

}  // namespace vellora
