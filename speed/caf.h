#pragma once

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// CAF ("caff"): the 64-bit float sample rate of its first chunk, desc; for
// Apple Lossless also the rate (and the average bit rate) of the ALAC
// configuration in the magic cookie, kuki. Codecs whose packets may hold the
// rate themselves are refused.
RatePlan planCaf(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
