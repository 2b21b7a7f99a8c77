#pragma once

#include <string_view>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// The change of rate of any known format, recognised by its first bytes:
// WAV (RIFF, RIFX, RF64), Wave64, AIFF and AIFF-C, CAF, FLAC, Ogg Vorbis.
// Formats whose rate cannot change without re-encoding (MP3, AAC, Opus, ...)
// are Unsupported, with the reason; anything else is scanned as WAV and
// fails as WAV does. `progress` is told how far the scan has read, and stops
// it by answering false.
RatePlan planRateChange(ByteSource& file, const RateChange& change, const CopyProgress& progress = {});
// The same on an input already opened for the scan; a stream cannot be
// FLAC, whose frames all change (Unsupported, format Flac).
RatePlan planRateChange(ScanInput& input, const RateChange& change);

// "WAV", "AIFF-C", "Ogg Vorbis", ...
std::string_view formatName(AudioFormat format);

// Whether the file is FLAC, whose change touches every frame, as its first
// bytes say (after an ID3v2 tag where there is one).
bool startsAsFlac(ByteSource& file);

}  // namespace vellora
