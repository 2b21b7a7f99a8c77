#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// Whether `head` begins with a WavPack block ("wvpk").
bool isWavPack(std::span<const std::byte> head);

// The change of rate of a WavPack file, or of its correction file (.wvc),
// whose blocks are alike: every block that holds audio gives the new rate,
// by the code of one of fifteen common rates in its flags or, where the
// block holds a rate sub-block, by that sub-block; each block's checksum is
// recomputed. The header of the file it was packed from (WAV, RF64, Wave64,
// AIFF, CAF), kept in its first block for unpacking, changes as that file
// would. No block changes its length, so none moves. A block that does not
// hold together, or fails its checksum, refuses the whole file. `start` is
// where the first block begins, after an ID3v2 tag where there is one; an
// APEv2 tag and an ID3v1 tag after the blocks stay as they are.
RatePlan planWavPack(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
