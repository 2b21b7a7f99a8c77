#pragma once

#include <cstddef>
#include <span>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// The change of rate of a native FLAC stream ("fLaC", after an ID3v2 tag if
// there is one): STREAMINFO's 20-bit rate, and every frame header's rate with
// the header's CRC-8 and the frame's CRC-16 recomputed. Each header keeps its
// length, so no frame moves and a seek table stays right; the samples and
// their MD5 do not change. Every frame boundary is checked (sync code, header
// syntax and CRC-8, the frame or sample number, the CRC-16 of the frame that
// ends there), so a file whose frames cannot all be walked is refused whole.
// Zeros, an APEv2 tag and an ID3v1 tag after the frames stay as they are.
// `start` is where "fLaC" begins, after an ID3v2 tag where there is one; the
// input tells the scan's progress and stops it.
RatePlan planFlac(ScanInput& input, std::uint64_t start, const RateChange& change);

// Whether `head` begins with a FLAC frame header whose syntax and CRC-8 hold:
// a FLAC stream cut or captured with no "fLaC" and no STREAMINFO, which ADTS's
// sync pattern would otherwise claim.
bool looksLikeFlacFrames(std::span<const std::byte> head);

}  // namespace vellora
