#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shellfiles/file_system.h"

namespace vellora {

// The kinds of recording the program tells apart by their first bytes, never
// by their names: first those whose sample rate can change without touching
// the audio, then those refused (speed/format_table.h has what each can do).
enum class AudioFormat {
  Wav, Rifx, Rf64, Bw64, Wave64, Aiff, Aifc, Caf, Flac, OggVorbis, Au, Sphere, WavPack,
  Mp3, Adts, Mp4, OggOpus, OggFlac, OggSpeex, Matroska, WindowsMedia,
  FlacFrames, Ac3, Voc, Svx8, Ircam,
};

// The new sample rate: the old one times a factor, rounded half to even, or
// one given exactly ("--rate 48000").
struct RateChange {
  double factor = 1.0;
  std::optional<std::uint32_t> exactRate;

  // The new rate for `oldRate`, a whole number; each format checks its own limits.
  double newRate(double oldRate) const {
    // nearbyint rounds halves to even in the default rounding mode.
    return exactRate ? double(*exactRate) : std::nearbyint(oldRate * factor);
  }
  // What fields that follow the rate (byte rates, bitrates) are scaled by.
  double factorFor(double oldRate) const { return exactRate ? double(*exactRate) / oldRate : factor; }
};

// A few bytes of the copy that the change rewrites.
struct Patch {
  static constexpr std::size_t kMaxBytes = 16;
  std::uint64_t offset = 0;
  std::uint8_t size = 0;
  std::array<std::byte, kMaxBytes> bytes{};

  std::span<const std::byte> view() const { return std::span(bytes).first(size); }
};

// The six values the header log and the window show, in the terms of WAV's
// format chunk whatever the format: block align and byte rate are those of
// the decoded samples where the format stores none.
struct AudioSummary {
  std::int64_t containerSize = 0;  // the RIFF/FORM size field, or the file's length where there is none
  std::int64_t blockAlign = 0;
  std::int64_t byteRate = 0;
  std::int64_t bitsPerSample = 0;
  std::int64_t channels = 0;
  double sampleRate = 0;
};

enum class PlanFailure {
  None,
  ReadFailed,      // the system could not read the file (readStatus says why)
  Cancelled,       // the progress asked the scan to stop
  UnknownFormat,   // none of the known formats
  NotRecognised,   // a RIFF file without a format chunk; the WAV scan's own reason
  Unsupported,     // a known format whose rate cannot change without re-encoding
  Malformed,       // a known format whose header cannot be trusted
  RateOutOfRange,  // the new rate does not fit the format
  NotStreamable,   // a format that converts only as a file
};

// What a change of rate does to one file: decided from the input alone,
// before anything is copied.
struct RatePlan {
  AudioFormat format = AudioFormat::Wav;
  AudioSummary before;  // as read
  AudioSummary after;   // as the copy will say
  // In increasing offset order, none overlapping.
  std::vector<Patch> patches;
  // What was patched, for the user who asks (-v): one line each.
  std::vector<std::string> notes;
  // What the header log shows when the copy fails, where that differs from `before`.
  std::optional<AudioSummary> beforeFailedCopy;
  // Patches a stream wrote out as its scan passed them, no longer in `patches`.
  struct Count {
    std::uint64_t places = 0;
    std::uint64_t bytes = 0;
  } handedOver;
  PlanFailure failure = PlanFailure::None;
  std::string reason;  // the failure in the user's words
  IoStatus readStatus;

  bool ok() const { return failure == PlanFailure::None; }
};

}  // namespace vellora
