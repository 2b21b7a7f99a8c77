#pragma once

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// MP4 and M4A holding one Apple Lossless track, its movie box before or
// after the media data, also fragmented: the sample entry's rate, the ALAC
// configuration's rate and bit rate, and the media header's timescale where
// it counts samples. The durations counted in the movie's timescale (movie
// and track headers, the edit list, the fragments' total) follow the new
// playing time; counts of samples stay. AAC and other codecs are refused.
RatePlan planMp4(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
