#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// AIFF's 80-bit IEEE extended float, big-endian, as COMM holds its sample rate.
using Extended = std::array<std::byte, 10>;
// nullopt for infinities and NaNs.
std::optional<double> decodeExtended(const Extended& raw);
// A whole number from 0 to 2^64 - 1, exactly.
Extended encodeExtended(std::uint64_t value);

// AIFF and AIFF-C ("FORM" with "AIFF" or "AIFC", any compression): the COMM
// chunk's sample rate, wherever COMM lies among the chunks.
RatePlan planAiff(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
