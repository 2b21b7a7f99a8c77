#pragma once

#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// Wave64: chunks named by 16-byte GUIDs, with 64-bit sizes that count their
// own 24-byte header, each aligned to 8 bytes. Its format chunk's body is
// WAV's, and changes as WAV's does.
RatePlan planWave64(ScanInput& input, std::uint64_t start, const RateChange& change);

// True when `head` starts with Wave64's "riff" GUID.
bool isWave64(std::span<const std::byte> head);

}  // namespace vellora
