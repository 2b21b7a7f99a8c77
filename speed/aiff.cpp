#include "speed/aiff.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "speed/bytes.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kFormHeader = 12;
constexpr std::size_t kChunkHeader = 8;
// numChannels, numSampleFrames, sampleSize, sampleRate.
constexpr std::uint32_t kShortestComm = 18;
constexpr std::size_t kRateInComm = 8;

bool is(const std::byte* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

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

RatePlan planAiff(ScanInput& input, const RateChange& change) {
  RatePlan plan;
  const std::span<const std::byte> form = input.read(0, kFormHeader);
  if (form.size() < kFormHeader) return failShortRead(plan, input, "the file ends inside its FORM header");
  plan.format = is(form.data() + 8, "AIFC") ? AudioFormat::Aifc : AudioFormat::Aiff;
  plan.before.containerSize = static_cast<std::int32_t>(read_u32be(form.data() + 4));

  bool afterSound = false;
  for (std::uint64_t offset = kFormHeader;;) {
    const std::span<const std::byte> header = input.read(offset, kChunkHeader);
    if (header.size() < kChunkHeader) return failShortRead(plan, input, "it has no COMM chunk");
    const std::uint32_t size = read_u32be(header.data() + 4);

    if (is(header.data(), "COMM")) {
      if (size < kShortestComm) return fail(plan, PlanFailure::Malformed, "its COMM chunk is too short");
      const std::uint64_t body = offset + kChunkHeader;
      const std::span<const std::byte> comm = input.read(body, kShortestComm);
      if (comm.size() < kShortestComm)
        return failShortRead(plan, input, "the file ends inside its COMM chunk");
      const auto channels = static_cast<std::int16_t>(read_u16be(comm.data()));
      const auto bits = static_cast<std::int16_t>(read_u16be(comm.data() + 6));
      Extended raw;
      std::copy_n(comm.data() + kRateInComm, raw.size(), raw.begin());
      const std::optional<double> rate = decodeExtended(raw);
      if (!rate) return fail(plan, PlanFailure::Malformed, "its sample rate is not a number");

      const std::int64_t blockAlign = std::int64_t{channels} * ((bits + 7) / 8);
      plan.before.channels = channels;
      plan.before.bitsPerSample = bits;
      plan.before.blockAlign = blockAlign;
      plan.before.sampleRate = *rate;
      plan.before.byteRate = wholeForLog(*rate * static_cast<double>(blockAlign));
      const std::optional<double> newRate = newRateWithin(plan, *rate, change);
      if (!newRate) return plan;
      plan.after = plan.before;
      plan.after.sampleRate = *newRate;
      plan.after.byteRate = wholeForLog(*newRate * static_cast<double>(blockAlign));
      plan.patches.push_back(patchAt(body + kRateInComm, encodeExtended(static_cast<std::uint64_t>(*newRate))));
      plan.notes.push_back("sample rate of the COMM chunk at " + offsetText(offset) +
                           (afterSound ? ", after the sound data" : ""));
      return plan;
    }

    // Every other chunk is stepped over, its body padded to an even length.
    const std::uint64_t next = offset + kChunkHeader + size + (size & 1U);
    if (next > input.size())
      return fail(plan, PlanFailure::Malformed, "a chunk runs past the end of the file before its COMM chunk");
    afterSound = afterSound || is(header.data(), "SSND");
    offset = next;
    input.pass(offset, plan.patches);
  }
}

}  // namespace vellora
