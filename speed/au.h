#pragma once

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// Sun/NeXT audio (.au, .snd): a 24-byte big-endian header whose fifth field
// is the rate, then any annotation, then the samples.
RatePlan planAu(ScanInput& input, std::uint64_t start, const RateChange& change);

// True when `head` starts with ".snd".
bool isAu(std::span<const std::byte> head);

}  // namespace vellora
