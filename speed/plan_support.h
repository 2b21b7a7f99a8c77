#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// What every format's scan shares: its failures, its rates, its patches.

// The largest rate a plan writes: what a signed 32-bit field holds, the
// narrowest of the formats' fields.
inline constexpr double kLargestRate = 2147483647.0;

// Ends `plan` with `failure`.
RatePlan& fail(RatePlan& plan, PlanFailure failure, std::string reason);

// Ends `plan` after a read that came up short: the input's own failure (a
// read error, a cancelled scan), or else `malformed`, the format's words
// for a file that ends too soon.
RatePlan& failShortRead(RatePlan& plan, const ScanInput& input, std::string malformed);

// The new rate for `oldRate`; nullopt, with the plan failed, when it falls
// outside 1 .. `largest`, or when `oldRate` is not a positive number.
std::optional<double> newRateWithin(RatePlan& plan, double oldRate, const RateChange& change,
                                    double largest = kLargestRate);

// Fails `plan` when `oldRate`, as a header gives it, is not a positive
// number: true then.
bool refuseOddRate(RatePlan& plan, double oldRate);

// Why a rate does not fit, in one wording for every format: "it would get a
// sample rate of 3000000000, and AIFF holds 1 to 2147483647".
std::string rateDoesNotFit(std::string_view field, double value, std::string_view format, double largest);

// `value` times the factor that takes the rate from `oldRate` to its new
// value, rounded half to even, for fields that follow the rate (byte rates,
// bit rates).
double scaledAlong(double value, double oldRate, const RateChange& change);

// `value` rounded to a whole number for the header log, or 0 where it has
// none (a header's rate may say anything).
std::int64_t wholeForLog(double value);

// Sets the plan's summaries, before and after, of a stream that decodes to
// samples of `bits` in `channels` channels; its container size stays.
void summariseSamples(RatePlan& plan, std::uint32_t channels, std::uint32_t bits, double rate, double newRate);

// A patch of `bytes` at `offset`; at most Patch::kMaxBytes.
Patch patchAt(std::uint64_t offset, std::span<const std::byte> bytes);

// Where the tags that taggers append to a file of blocks begin: an APEv2
// tag, an ID3v1 tag after it, or both; the input's size where there are none.
// Blocks begin at `first`. The caller checks the input for a failed read.
std::uint64_t appendedTagsStart(ScanInput& input, std::uint64_t first);

// "offset 40" style numbers for notes.
std::string offsetText(std::uint64_t offset);

// Four bytes of an identifier as text.
std::string fourccText(const std::byte* p);

}  // namespace vellora
