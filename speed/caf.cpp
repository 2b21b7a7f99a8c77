#include "speed/caf.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "speed/bytes.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kFileHeader = 8;    // "caff", version, flags
constexpr std::size_t kChunkHeader = 12;  // type, 64-bit signed size
constexpr std::uint64_t kDescSize = 32;
constexpr std::uint64_t kDescBody = kFileHeader + kChunkHeader;
// The ALAC configuration: frameLength, compatibleVersion, bitDepth, pb, mb,
// kb, numChannels, maxRun, maxFrameBytes, avgBitRate, sampleRate.
constexpr std::size_t kAlacConfig = 24;
constexpr std::size_t kAlacBitDepth = 5;
constexpr std::size_t kAlacChannels = 9;
constexpr std::size_t kAlacBitRate = 16;  // followed by the sample rate
// How much of a cookie is read: the config after its two optional atoms.
constexpr std::size_t kCookieRead = 12 + 12 + kAlacConfig;

bool is(const std::byte* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Codecs whose packets hold no rate of their own.
bool relabels(const std::byte* formatId) {
  for (const char* id : {"lpcm", "ulaw", "alaw", "ima4", "alac"})
    if (is(formatId, id)) return true;
  return false;
}

std::string codecWords(const std::byte* formatId) {
  const std::string id = fourccText(formatId);
  if (id == "aac " || id == "aach" || id == "aacp") return "AAC ('" + id + "'), whose stream holds the rate as well";
  if (id == ".mp3" || id == ".mp2" || id == ".mp1") return "MPEG audio ('" + id + "'), whose frames each hold the rate";
  if (id == "opus") return "Opus ('opus'), which always decodes at 48000 Hz";
  if (id == "flac") return "FLAC ('flac'), whose frames each hold the rate";
  return "'" + id + "' audio, whose stream may hold the rate as well";
}

// Where the ALAC configuration starts in a cookie: after a 'frma' atom and
// an 'alac' atom where the writer put them, as ffmpeg does.
std::size_t alacConfigAt(std::span<const std::byte> cookie) {
  std::size_t at = 0;
  if (cookie.size() >= at + 12 && is(cookie.data() + at + 4, "frma")) at += 12;
  if (cookie.size() >= at + 12 && is(cookie.data() + at + 4, "alac")) at += 12;
  return at;
}

}  // namespace

RatePlan planCaf(ScanInput& input, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Caf;
  const std::span<const std::byte> head = input.read(0, kDescBody + kDescSize);
  if (head.size() < kDescBody + kDescSize) return failShortRead(plan, input, "the file ends inside its desc chunk");
  if (!is(head.data() + kFileHeader, "desc") || read_u64be(head.data() + kFileHeader + 4) < kDescSize)
    return fail(plan, PlanFailure::Malformed, "its first chunk is not a whole desc chunk");
  const std::byte* desc = head.data() + kDescBody;
  const double rate = read_f64be(desc);
  const std::byte* formatId = desc + 8;
  const auto channels = read_u32be(desc + 24);
  auto bits = read_u32be(desc + 28);
  const bool alac = is(formatId, "alac");
  if (!relabels(formatId))
    return fail(plan, PlanFailure::Unsupported, "it is CAF holding " + codecWords(formatId));
  if (!std::isfinite(rate)) return fail(plan, PlanFailure::Malformed, "its sample rate is not a number");
  const std::uint64_t size = input.size();
  plan.before.containerSize = size == std::uint64_t(-1) ? 0 : static_cast<std::int64_t>(size);
  plan.before.channels = channels;
  plan.before.sampleRate = rate;

  const std::optional<double> newRate = newRateWithin(plan, rate, change);
  if (!newRate) return plan;
  std::array<std::byte, 8> rateBytes{};
  write_f64be(rateBytes.data(), *newRate);
  plan.patches.push_back(patchAt(kDescBody, rateBytes));
  plan.notes.push_back("sample rate of the desc chunk at " + offsetText(kFileHeader));

  if (alac) {
    // The decoder takes the rate from the cookie's configuration, so it changes too.
    std::uint64_t offset = kDescBody + kDescSize;
    input.pass(offset, plan.patches);
    for (;;) {
      const std::span<const std::byte> chunk = input.read(offset, kChunkHeader);
      if (chunk.size() < kChunkHeader)
        return failShortRead(plan, input, "its Apple Lossless cookie (kuki chunk) is missing");
      const auto chunkSize = static_cast<std::int64_t>(read_u64be(chunk.data() + 4));
      const std::uint64_t body = offset + kChunkHeader;
      if (is(chunk.data(), "kuki")) {
        const std::span<const std::byte> cookie =
            input.read(body, static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(chunkSize, 0), kCookieRead)));
        const std::size_t at = alacConfigAt(cookie);
        if (input.failed() || cookie.size() < at + kAlacConfig)
          return failShortRead(plan, input, "its Apple Lossless cookie is too short");
        const std::byte* config = cookie.data() + at;
        bits = std::to_integer<std::uint32_t>(config[kAlacBitDepth]);
        const auto cookieChannels = std::to_integer<std::uint32_t>(config[kAlacChannels]);
        const std::uint32_t bitRate = read_u32be(config + kAlacBitRate);
        // ffmpeg writes the bit rate of the decoded samples there, others 0 (unknown).
        const double newBitRate =
            bitRate == std::uint64_t{bits} * cookieChannels * read_u32be(config + kAlacBitRate + 4)
                ? *newRate * bits * cookieChannels
                : scaledAlong(bitRate, rate, change);
        if (newBitRate > 4294967295.0)
          return fail(plan, PlanFailure::RateOutOfRange, "its Apple Lossless bit rate would grow too large");
        std::array<std::byte, 8> alacRates{};
        write_u32be(alacRates.data(), static_cast<std::uint32_t>(newBitRate));
        write_u32be(alacRates.data() + 4, static_cast<std::uint32_t>(*newRate));
        plan.patches.push_back(patchAt(body + at + kAlacBitRate, alacRates));
        plan.notes.push_back("sample rate and bit rate of the Apple Lossless cookie at " + offsetText(offset));
        break;
      }
      // A size of -1 marks the data chunk that runs to the end of the file.
      if (chunkSize < 0 || body + static_cast<std::uint64_t>(chunkSize) > input.size())
        return fail(plan, PlanFailure::Malformed, "its Apple Lossless cookie (kuki chunk) is missing");
      offset = body + static_cast<std::uint64_t>(chunkSize);
      input.pass(offset, plan.patches);
    }
  }

  const std::int64_t blockAlign = std::int64_t{channels} * ((bits + 7) / 8);
  plan.before.bitsPerSample = bits;
  plan.before.blockAlign = blockAlign;
  plan.before.byteRate = wholeForLog(rate * static_cast<double>(blockAlign));
  plan.after = plan.before;
  plan.after.sampleRate = *newRate;
  plan.after.byteRate = wholeForLog(*newRate * static_cast<double>(blockAlign));
  return plan;
}

}  // namespace vellora
