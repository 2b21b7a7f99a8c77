#pragma once

#include <cstdint>
#include <span>

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// Ogg's page checksum: CRC-32 with the polynomial 0x04C11DB7, not reflected,
// starting from 0, over a page whose checksum field holds zeros; `crc` goes
// on from the bytes before.
std::uint32_t oggCrc(std::span<const std::byte> bytes, std::uint32_t crc = 0);

// Ogg Vorbis: the identification header's sample rate and its bit rates,
// with that page's checksum recomputed, in every chained stream of the file.
// Granule positions count samples and stay. Ogg streams of other codecs are
// refused, Opus with its reason. `start` is where the first page begins.
RatePlan planOggVorbis(ScanInput& input, std::uint64_t start, const RateChange& change);

}  // namespace vellora
