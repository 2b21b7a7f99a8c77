#include "speed/plan_support.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "shellfiles/numbers.h"
#include "speed/audio_format.h"
#include "speed/bytes.h"

namespace vellora {

RatePlan& fail(RatePlan& plan, PlanFailure failure, std::string reason) {
  plan.failure = failure;
  plan.reason = std::move(reason);
  plan.patches.clear();
  return plan;
}

RatePlan& failShortRead(RatePlan& plan, const ScanInput& input, std::string malformed) {
  if (input.cancelled()) return fail(plan, PlanFailure::Cancelled, "cancelled");
  if (!input.status()) {
    plan.readStatus = input.status();
    return fail(plan, PlanFailure::ReadFailed, input.status().reason());
  }
  return fail(plan, PlanFailure::Malformed, std::move(malformed));
}

std::string rateDoesNotFit(std::string_view field, double value, std::string_view format, double largest) {
  return "it would get " + std::string(field) + " of " + formatNumber(value) + ", and " + std::string(format) +
         " holds 1 to " + formatNumber(largest);
}

bool refuseOddRate(RatePlan& plan, double oldRate) {
  if (oldRate > 0 && std::isfinite(oldRate)) return false;
  // A rate that is not positive would turn every field that follows it negative.
  fail(plan, PlanFailure::Malformed, "its header gives a sample rate of " + formatNumber(oldRate) +
                                         ", which no recording has");
  return true;
}

std::optional<double> newRateWithin(RatePlan& plan, double oldRate, const RateChange& change,
                                    double largest) {
  if (refuseOddRate(plan, oldRate)) return std::nullopt;
  const double rate = change.newRate(oldRate);
  if (rate >= 1.0 && rate <= largest) return rate;
  if (!change.exactRate && std::isinf(change.factor))
    fail(plan, PlanFailure::RateOutOfRange,
         change.factor > 0 ? "the percentage is too large" : "the percentage is too far below zero");
  else
    fail(plan, PlanFailure::RateOutOfRange,
         rateDoesNotFit("a sample rate", rate, formatName(plan.format), largest) + " Hz");
  return std::nullopt;
}

double scaledAlong(double value, double oldRate, const RateChange& change) {
  return std::nearbyint(value * change.factorFor(oldRate));
}

std::int64_t wholeForLog(double value) {
  const double whole = std::nearbyint(value);
  return std::fabs(whole) < 9.2e18 ? static_cast<std::int64_t>(whole) : 0;
}

void summariseSamples(RatePlan& plan, std::uint32_t channels, std::uint32_t bits, double rate, double newRate) {
  const std::int64_t blockAlign = std::int64_t{channels} * ((bits + 7) / 8);
  plan.before.channels = channels;
  plan.before.bitsPerSample = bits;
  plan.before.blockAlign = blockAlign;
  plan.before.sampleRate = rate;
  plan.before.byteRate = wholeForLog(rate * static_cast<double>(blockAlign));
  plan.after = plan.before;
  plan.after.sampleRate = newRate;
  plan.after.byteRate = wholeForLog(newRate * static_cast<double>(blockAlign));
}

Patch patchAt(std::uint64_t offset, std::span<const std::byte> bytes) {
  Patch patch{.offset = offset, .size = static_cast<std::uint8_t>(bytes.size()), .bytes = {}};
  std::copy(bytes.begin(), bytes.end(), patch.bytes.begin());
  return patch;
}

std::uint64_t appendedTagsStart(ScanInput& input, std::uint64_t first) {
  constexpr std::size_t kId3v1 = 128, kApeFooter = 32;
  std::uint64_t end = input.size();
  if (end >= first + kId3v1 && hasId(input.read(end - kId3v1, 3), 0, "TAG")) end -= kId3v1;
  if (end < first + kApeFooter) return end;
  const std::span<const std::byte> footer = input.read(end - kApeFooter, kApeFooter);
  if (footer.size() < kApeFooter || !hasId(footer, 0, "APETAGEX")) return end;
  // The footer's size counts the items and the footer; a header adds 32 bytes.
  const std::uint64_t bytes =
      read_u32le(footer.data() + 12) + ((read_u32le(footer.data() + 20) >> 31) ? kApeFooter : 0U);
  return bytes >= kApeFooter && bytes <= end - first ? end - bytes : end;
}

std::string offsetText(std::uint64_t offset) { return "offset " + std::to_string(offset); }

std::string fourccText(const std::byte* p) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const auto c = std::to_integer<unsigned char>(p[i]);
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}

}  // namespace vellora
