#include "speed/audio_format.h"

#include <array>
#include <cstring>
#include <string>

#include "speed/aiff.h"
#include "speed/caf.h"
#include "speed/flac.h"
#include "speed/ogg_vorbis.h"
#include "speed/plan_support.h"
#include "speed/wav_header.h"
#include "speed/wave64.h"

namespace vellora {
namespace {

constexpr std::size_t kHead = 16;
constexpr std::size_t kId3Header = 10;

bool at(std::span<const std::byte> bytes, std::size_t offset, std::string_view text) {
  return bytes.size() >= offset + text.size() && std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

unsigned byteAt(std::span<const std::byte> bytes, std::size_t i) {
  return i < bytes.size() ? std::to_integer<unsigned>(bytes[i]) : 0;
}

// An AAC frame in ADTS: a 12-bit sync and layer 0.
bool isAdts(std::span<const std::byte> b) { return byteAt(b, 0) == 0xFF && (byteAt(b, 1) & 0xF6) == 0xF0; }

// An MPEG audio frame header: sync, a known version and layer, a bit rate
// and a sample rate that exist.
bool isMpegAudio(std::span<const std::byte> b) {
  return b.size() >= 3 && byteAt(b, 0) == 0xFF && (byteAt(b, 1) & 0xE0) == 0xE0 &&
         ((byteAt(b, 1) >> 3) & 3) != 1 && ((byteAt(b, 1) >> 1) & 3) != 0 && (byteAt(b, 2) >> 4) != 15 &&
         ((byteAt(b, 2) >> 2) & 3) != 3;
}

constexpr const char* kMp3 =
    "it is MP3, whose frames each hold the rate, and only three rates exist for each MPEG version";
constexpr const char* kId3Stream =
    "it starts with an ID3 tag, as MP3 files do (and some FLAC files, which convert only as files)";
constexpr const char* kAdts = "it is AAC, whose frames each hold the rate as one of a few fixed rates";
constexpr const char* kMp4 =
    "it is MP4 or M4A audio, whose AAC stream holds the rate too, as one of a few fixed rates";
constexpr const char* kMatroska = "it is Matroska or WebM, whose codecs hold their rates in their own streams";
constexpr const char* kAsf = "it is Windows Media audio, whose codecs hold their rates in their own streams";

RatePlan refused(AudioFormat format, const char* why) {
  RatePlan plan;
  plan.format = format;
  return fail(plan, PlanFailure::Unsupported, why);
}

RatePlan planFlacFile(ScanInput& input, std::uint64_t start, const RateChange& change) {
  if (input.file() == nullptr) {
    RatePlan plan;
    plan.format = AudioFormat::Flac;
    return fail(plan, PlanFailure::Unsupported, "every frame of a FLAC stream changes, so it converts only as a file");
  }
  return planFlac(input, start, change);
}

// Where an ID3v2 tag that starts a file ends.
std::uint64_t id3End(std::span<const std::byte> head) {
  std::uint64_t end = kId3Header;
  for (std::size_t i = 6; i < kId3Header; ++i) end += std::uint64_t{byteAt(head, i) & 0x7F} << (7 * (9 - i));
  if ((byteAt(head, 5) & 0x10) != 0) end += kId3Header;  // a footer repeats the header
  return end;
}

// What follows an ID3v2 tag at the start: FLAC, or else MPEG audio. A
// stream could hold neither, and is not read through a tag of up to 256 MiB
// to tell which.
RatePlan planAfterId3(ScanInput& input, std::span<const std::byte> head, const RateChange& change) {
  if (input.file() == nullptr) return refused(AudioFormat::Wav, kId3Stream);
  const std::span<const std::byte> after = input.read(id3End(head), 4);
  if (input.failed()) {
    RatePlan plan;
    return failShortRead(plan, input, {});
  }
  if (at(after, 0, "fLaC")) return planFlacFile(input, id3End(head), change);
  return refused(AudioFormat::Wav, isAdts(after) ? kAdts : kMp3);
}

}  // namespace

RatePlan planRateChange(ByteSource& file, const RateChange& change, const CopyProgress& progress) {
  ScanInput input(file, progress);
  return planRateChange(input, change);
}

RatePlan planRateChange(ScanInput& input, const RateChange& change) {
  const std::span<const std::byte> read = input.read(0, kHead);
  if (input.failed()) {
    RatePlan plan;
    return failShortRead(plan, input, {});
  }
  std::array<std::byte, kHead> head{};
  std::copy(read.begin(), read.end(), head.begin());
  const std::span<const std::byte> bytes = std::span(head).first(read.size());

  if (at(bytes, 0, "FORM") && (at(bytes, 8, "AIFF") || at(bytes, 8, "AIFC"))) return planAiff(input, change);
  if (isWave64(bytes)) return planWave64(input, change);
  if (at(bytes, 0, "caff")) return planCaf(input, change);
  if (at(bytes, 0, "fLaC")) return planFlacFile(input, 0, change);
  if (at(bytes, 0, "OggS")) return planOggVorbis(input, 0, change);
  if (at(bytes, 0, "ID3")) return planAfterId3(input, bytes, change);
  if (at(bytes, 4, "ftyp")) return refused(AudioFormat::Wav, kMp4);
  if (at(bytes, 0, "\x1a\x45\xdf\xa3")) return refused(AudioFormat::Wav, kMatroska);
  if (at(bytes, 0, "\x30\x26\xb2\x75\x8e\x66\xcf\x11")) return refused(AudioFormat::Wav, kAsf);
  if (isAdts(bytes)) return refused(AudioFormat::Wav, kAdts);
  if (isMpegAudio(bytes)) return refused(AudioFormat::Wav, kMp3);
  // RIFF, RIFX, RF64, and whatever else: the WAV scan says what it finds.
  return planWav(input, change);
}

bool startsAsFlac(ByteSource& file) {
  std::array<std::byte, kHead> head{};
  if (file.readAt(0, head).count < 4) return false;
  if (at(head, 0, "fLaC")) return true;
  std::array<std::byte, 4> after{};
  return at(head, 0, "ID3") && file.readAt(id3End(head), after).count == 4 && at(after, 0, "fLaC");
}

std::string_view formatName(AudioFormat format) {
  switch (format) {
    case AudioFormat::Wav: return "WAV";
    case AudioFormat::Rifx: return "RIFX (big-endian WAV)";
    case AudioFormat::Rf64: return "RF64";
    case AudioFormat::Wave64: return "Wave64";
    case AudioFormat::Aiff: return "AIFF";
    case AudioFormat::Aifc: return "AIFF-C";
    case AudioFormat::Caf: return "CAF";
    case AudioFormat::Flac: return "FLAC";
    case AudioFormat::OggVorbis: return "Ogg Vorbis";
  }
  return "unknown";
}

}  // namespace vellora
