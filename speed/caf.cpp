#include "speed/caf.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "speed/alac.h"
#include "speed/bytes.h"
#include "speed/chunk_walk.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kFileHeader = 8;    // "caff", version, flags
constexpr std::uint64_t kDescSize = 32;
constexpr std::uint64_t kDescBody = kFileHeader + 12;  // after the desc chunk's header
// How much of a cookie is read: the config after its two optional atoms.
constexpr std::size_t kCookieRead = 12 + 12 + kAlacConfigBytes;

bool is(const std::byte* p, std::string_view id) { return hasId(std::span(p, 4), 0, id); }

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

namespace {

// The Apple Lossless cookie's bit rate and sample rate, changed to `newRate`.
bool planCookie(RatePlan& plan, ScanInput& input, const Chunk& kuki, double newRate,
                const RateChange& change, std::uint32_t& bits) {
  const std::span<const std::byte> cookie =
      input.read(kuki.body, static_cast<std::size_t>(std::min<std::uint64_t>(kuki.size, kCookieRead)));
  const std::size_t at = alacConfigAt(cookie);
  if (input.failed() || cookie.size() < at + kAlacConfigBytes) {
    failShortRead(plan, input, "its Apple Lossless cookie is too short");
    return false;
  }
  const AlacConfig config = readAlacConfig(cookie.subspan(at).first<kAlacConfigBytes>());
  bits = config.bits;
  if (!planAlacConfig(plan, kuki.body + at, config, newRate, change)) return false;
  plan.notes.push_back("sample rate and bit rate of the Apple Lossless cookie at " + offsetText(kuki.offset));
  return true;
}

std::array<std::byte, 8> rateBytes(double rate) {
  std::array<std::byte, 8> bytes{};
  write_f64be(bytes.data(), rate);
  return bytes;
}

}  // namespace

RatePlan planCaf(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Caf;
  const std::uint64_t descBody = start + kDescBody;
  const std::span<const std::byte> head = input.read(start, kDescBody + kDescSize);
  if (head.size() < kDescBody + kDescSize) return failShortRead(plan, input, "the file ends inside its desc chunk");
  if (!hasId(head, kFileHeader, "desc") || read_u64be(head.data() + kFileHeader + 4) < kDescSize)
    return fail(plan, PlanFailure::Malformed, "its first chunk is not a whole desc chunk");
  const std::byte* desc = head.data() + kDescBody;
  const double rate = read_f64be(desc);
  std::array<std::byte, 4> formatId{};
  std::copy_n(desc + 8, 4, formatId.begin());
  const auto channels = read_u32be(desc + 24);
  auto bits = read_u32be(desc + 28);
  const bool alac = hasId(formatId, 0, "alac");
  if (!relabels(formatId.data()))
    return fail(plan, PlanFailure::Unsupported, "it is CAF holding " + codecWords(formatId.data()));
  if (!std::isfinite(rate)) return fail(plan, PlanFailure::Malformed, "its sample rate is not a number");
  const std::uint64_t size = input.size();
  plan.before.containerSize = size == std::uint64_t(-1) ? 0 : static_cast<std::int64_t>(size);
  plan.before.channels = channels;
  plan.before.sampleRate = rate;

  const std::optional<double> newRate = newRateWithin(plan, rate, change);
  if (!newRate) return plan;
  plan.patches.push_back(patchAt(descBody, rateBytes(*newRate)));
  plan.notes.push_back("sample rate of the desc chunk at " + offsetText(start + kFileHeader));

  // Only the first desc counts, but a later one that a lenient reader might
  // take changes too; the decoder takes Apple Lossless's rate from its cookie.
  bool cookie = false;
  ChunkWalk walk(input, ChunkLayout::Caf, start + kFileHeader);
  (void)walk.next();
  while (const std::optional<Chunk> chunk = walk.next(plan.patches)) {
    // A desc cut short by the file's end is one no reader takes.
    if (chunk->is("desc") && chunk->size >= kDescSize && input.read(chunk->body, 8).size() == 8) {
      plan.patches.push_back(patchAt(chunk->body, rateBytes(*newRate)));
      plan.notes.push_back("sample rate of another desc chunk at " + offsetText(chunk->offset));
    } else if (alac && !cookie && chunk->is("kuki")) {
      if (!planCookie(plan, input, *chunk, *newRate, change, bits)) return plan;
      cookie = true;
    }
  }
  if (walk.end() == WalkEnd::ReadFailed) return failShortRead(plan, input, {});
  if (alac && !cookie) return fail(plan, PlanFailure::Malformed, "its Apple Lossless cookie (kuki chunk) is missing");

  summariseSamples(plan, channels, bits, rate, *newRate);
  return plan;
}

}  // namespace vellora
