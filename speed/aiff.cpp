#include "speed/aiff.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "speed/bytes.h"
#include "speed/chunk_walk.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kFormHeader = 12;
// numChannels, numSampleFrames, sampleSize, sampleRate.
constexpr std::uint32_t kShortestComm = 18;
constexpr std::size_t kRateInComm = 8;

}  // namespace

std::optional<double> decodeExtended(const Extended& raw) {
  const std::uint16_t signAndExponent = read_u16be(raw.data());
  const int exponent = signAndExponent & 0x7FFF;
  const std::uint64_t mantissa = read_u64be(raw.data() + 2);
  if (exponent == 0x7FFF) return std::nullopt;
  // The mantissa holds its integer bit: value = mantissa * 2^(exponent - 16383 - 63).
  const double magnitude = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return (signAndExponent & 0x8000) != 0 ? -magnitude : magnitude;
}

Extended encodeExtended(std::uint64_t value) {
  Extended raw{};
  if (value == 0) return raw;
  const int top = static_cast<int>(std::bit_width(value)) - 1;
  write_u16be(raw.data(), static_cast<std::uint16_t>(16383 + top));
  write_u64be(raw.data() + 2, value << (63 - top));
  return raw;
}

namespace {

// The COMM chunk's channels, sample size and rate, into `summary`; the
// reason when it cannot be read.
std::optional<std::string> readComm(ScanInput& input, const Chunk& comm, AudioSummary& summary) {
  if (comm.size < kShortestComm) return "its COMM chunk is too short";
  const std::span<const std::byte> body = input.read(comm.body, kShortestComm);
  if (body.size() < kShortestComm) return "the file ends inside its COMM chunk";
  Extended raw;
  std::copy_n(body.data() + kRateInComm, raw.size(), raw.begin());
  const std::optional<double> rate = decodeExtended(raw);
  if (!rate) return "its sample rate is not a number";
  const auto channels = static_cast<std::int16_t>(read_u16be(body.data()));
  const auto bits = static_cast<std::int16_t>(read_u16be(body.data() + 6));
  summary.channels = channels;
  summary.bitsPerSample = bits;
  summary.blockAlign = std::int64_t{channels} * ((bits + 7) / 8);
  summary.sampleRate = *rate;
  summary.byteRate = wholeForLog(*rate * static_cast<double>(summary.blockAlign));
  return std::nullopt;
}

}  // namespace

RatePlan planAiff(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  const std::span<const std::byte> form = input.read(start, kFormHeader);
  if (form.size() < kFormHeader) return failShortRead(plan, input, "the file ends inside its FORM header");
  plan.format = hasId(form, 8, "AIFC") ? AudioFormat::Aifc : AudioFormat::Aiff;
  plan.before.containerSize = static_cast<std::int32_t>(read_u32be(form.data() + 4));

  // Readers differ in which of two COMM chunks they take, so every one changes.
  bool afterSound = false;
  ChunkWalk walk(input, ChunkLayout::Aiff, start + kFormHeader);
  while (const std::optional<Chunk> chunk = walk.next(plan.patches)) {
    if (!chunk->is("COMM")) {
      afterSound = afterSound || chunk->is("SSND");
      continue;
    }
    const bool first = plan.patches.empty();
    AudioSummary comm;
    if (std::optional<std::string> why = readComm(input, *chunk, comm)) {
      if (!first) break;  // past the first, a damaged chunk ends what readers find
      return input.failed() ? failShortRead(plan, input, {}) : fail(plan, PlanFailure::Malformed, std::move(*why));
    }
    const std::optional<double> newRate = newRateWithin(plan, comm.sampleRate, change);
    if (!newRate) return plan;
    if (first) {
      plan.before = AudioSummary{.containerSize = plan.before.containerSize, .blockAlign = comm.blockAlign,
                                 .byteRate = comm.byteRate, .bitsPerSample = comm.bitsPerSample,
                                 .channels = comm.channels, .sampleRate = comm.sampleRate};
      plan.after = plan.before;
      plan.after.sampleRate = *newRate;
      plan.after.byteRate = wholeForLog(*newRate * static_cast<double>(comm.blockAlign));
    }
    plan.patches.push_back(
        patchAt(chunk->body + kRateInComm, encodeExtended(static_cast<std::uint64_t>(*newRate))));
    plan.notes.push_back(std::string(first ? "sample rate of the" : "sample rate of another") + " COMM chunk at " +
                         offsetText(chunk->offset) + (afterSound ? ", after the sound data" : ""));
  }
  if (walk.end() == WalkEnd::ReadFailed) return failShortRead(plan, input, {});
  if (plan.patches.empty()) {
    if (walk.end() == WalkEnd::PastEnd || walk.end() == WalkEnd::BadSize)
      return fail(plan, PlanFailure::Malformed, "a chunk runs past the end of the file before its COMM chunk");
    return fail(plan, PlanFailure::Malformed, "it has no COMM chunk");
  }
  return plan;
}

}  // namespace vellora
