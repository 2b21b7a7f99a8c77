#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "speed/rate_plan.h"

namespace vellora {

// The ALAC configuration that CAF's cookie and MP4's 'alac' box hold:
// frameLength, compatibleVersion, bitDepth, pb, mb, kb, numChannels, maxRun,
// maxFrameBytes, avgBitRate, sampleRate, all big-endian.
constexpr std::size_t kAlacConfigBytes = 24;

struct AlacConfig {
  std::uint32_t bits = 0;
  std::uint32_t channels = 0;
  std::uint32_t bitRate = 0;
  std::uint32_t rate = 0;
};
AlacConfig readAlacConfig(std::span<const std::byte, kAlacConfigBytes> config);

// Plans the configuration at `offset`: its sample rate becomes `newRate`
// and its average bit rate follows. ffmpeg writes the decoded samples' bit
// rate there, which is recomputed; others write 0 (unknown), which stays.
// False, with the plan's failure, when the bit rate would not fit.
bool planAlacConfig(RatePlan& plan, std::uint64_t offset, const AlacConfig& config, double newRate,
                    const RateChange& change);

}  // namespace vellora
