#pragma once

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// NIST SPHERE: a text header of a length it states ("NIST_1A", "   1024",
// then "field -type value" lines up to "end_head"), padded to that length.
// The rate is the line "sample_rate -i N", rewritten within the padding so
// that the header's length never changes.
RatePlan planSphere(ScanInput& input, std::uint64_t start, const RateChange& change);

// True when `head` starts with "NIST_1A\n".
bool isSphere(std::span<const std::byte> head);

}  // namespace vellora
