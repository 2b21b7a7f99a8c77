#pragma once

#include <cstddef>
#include <span>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"

namespace vellora {

// The change of rate of a native FLAC stream ("fLaC", after an ID3v2 tag if
// there is one): STREAMINFO's 20-bit rate, and every frame header's rate with
// the header's CRC-8 and the frame's CRC-16 recomputed. Each header keeps its
// length, so no frame moves and a seek table stays right; the samples and
// their MD5 do not change. Every frame boundary is checked (sync code, header
// syntax and CRC-8, the frame or sample number, the CRC-16 of the frame that
// ends there), so a file whose frames cannot all be walked is refused whole.
// `progress` is told how far the scan has read every few MiB and stops it by
// answering false.
RatePlan planFlac(ByteSource& file, const RateChange& change, const CopyProgress& progress);

// Whether `head` begins with a FLAC frame header whose syntax and CRC-8 hold:
// a FLAC stream cut or captured with no "fLaC" and no STREAMINFO, which ADTS's
// sync pattern would otherwise claim.
bool looksLikeFlacFrames(std::span<const std::byte> head);

}  // namespace vellora
