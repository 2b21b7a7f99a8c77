#pragma once

#include <string_view>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// The change of rate of a recording of any kind in the table of formats,
// told by its first bytes (after an ID3v2 tag where one comes first). Kinds
// whose rate cannot change without re-encoding are Unsupported, with their
// reason; a file of no known kind is UnknownFormat, unless its chunks hold a
// WAV format chunk all the same. `progress` is told how far the scan has
// read, and stops it by answering false.
RatePlan planRateChange(ByteSource& file, const RateChange& change, const CopyProgress& progress = {});
// The same on an input already opened for the scan; a stream of a kind that
// converts only as a file is NotStreamable.
RatePlan planRateChange(ScanInput& input, const RateChange& change);

// "WAV", "AIFF-C", "Ogg Vorbis", ...
std::string_view formatName(AudioFormat format);

}  // namespace vellora
