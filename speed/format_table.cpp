#include "speed/format_table.h"

#include <algorithm>
#include <array>
#include <vector>

#include "speed/aiff.h"
#include "speed/au.h"
#include "speed/bytes.h"
#include "speed/caf.h"
#include "speed/flac.h"
#include "speed/mp4.h"
#include "speed/ogg_vorbis.h"
#include "speed/sphere.h"
#include "speed/wav_header.h"
#include "speed/wave64.h"
#include "speed/wavpack.h"

namespace vellora {
namespace {

unsigned byteAt(std::span<const std::byte> b, std::size_t i) { return i < b.size() ? octet(b[i]) : 0; }

bool isWav(std::span<const std::byte> b) { return hasId(b, 0, "RIFF") || hasId(b, 0, "RIFX") || hasId(b, 0, "RF64") || hasId(b, 0, "BW64"); }
bool isRifx(std::span<const std::byte> b) { return hasId(b, 0, "RIFX"); }
bool isRf64(std::span<const std::byte> b) { return hasId(b, 0, "RF64"); }
bool isBw64(std::span<const std::byte> b) { return hasId(b, 0, "BW64"); }
bool isAiff(std::span<const std::byte> b) { return hasId(b, 0, "FORM") && hasId(b, 8, "AIFF"); }
bool isAifc(std::span<const std::byte> b) { return hasId(b, 0, "FORM") && hasId(b, 8, "AIFC"); }
bool isCaf(std::span<const std::byte> b) { return hasId(b, 0, "caff"); }
bool isFlac(std::span<const std::byte> b) { return hasId(b, 0, "fLaC"); }
bool isOgg(std::span<const std::byte> b) { return hasId(b, 0, "OggS"); }
bool isMp4(std::span<const std::byte> b) { return hasId(b, 4, "ftyp"); }
bool isMatroska(std::span<const std::byte> b) { return hasId(b, 0, "\x1a\x45\xdf\xa3"); }
bool isAsf(std::span<const std::byte> b) { return hasId(b, 0, "\x30\x26\xb2\x75\x8e\x66\xcf\x11"); }
bool isVoc(std::span<const std::byte> b) { return hasId(b, 0, "Creative Voice File\x1a"); }
bool is8svx(std::span<const std::byte> b) { return hasId(b, 0, "FORM") && hasId(b, 8, "8SVX"); }

// AC-3 and E-AC-3: the sync word, then a rate code and a stream version that exist.
bool isAc3(std::span<const std::byte> b) {
  return byteAt(b, 0) == 0x0B && byteAt(b, 1) == 0x77 && b.size() >= 6 && (byteAt(b, 4) >> 6) != 3 &&
         (byteAt(b, 5) >> 3) <= 16;
}

// IRCAM (BICSF): one of four magic numbers, in either byte order.
bool isIrcam(std::span<const std::byte> b) {
  const unsigned kind = byteAt(b, 2);
  if (hasId(b, 0, "\x64\xa3") && kind >= 1 && kind <= 4 && byteAt(b, 3) == 0) return true;
  return byteAt(b, 0) == 0 && byteAt(b, 1) >= 1 && byteAt(b, 1) <= 4 && hasId(b, 2, "\xa3\x64");
}

// The first packet of an Ogg stream whose first page holds one segment table
// entry or a few: where the codec names itself.
bool oggStarts(std::span<const std::byte> b, std::string_view packet) {
  if (!isOgg(b) || b.size() < 27) return false;
  return hasId(b, 27 + byteAt(b, 26), packet);
}
bool isOggOpus(std::span<const std::byte> b) { return oggStarts(b, "OpusHead"); }
bool isOggFlac(std::span<const std::byte> b) { return oggStarts(b, "\x7f" "FLAC"); }
bool isOggSpeex(std::span<const std::byte> b) { return oggStarts(b, "Speex   "); }

// An AAC frame in ADTS: a 12-bit sync and layer 0.
bool isAdts(std::span<const std::byte> b) { return byteAt(b, 0) == 0xFF && (byteAt(b, 1) & 0xF6) == 0xF0; }

// An MPEG audio frame header: sync, a known version and layer, a bit rate
// and a sample rate that exist.
bool isMpegAudio(std::span<const std::byte> b) {
  return b.size() >= 3 && byteAt(b, 0) == 0xFF && (byteAt(b, 1) & 0xE0) == 0xE0 &&
         ((byteAt(b, 1) >> 3) & 3) != 1 && ((byteAt(b, 1) >> 1) & 3) != 0 && (byteAt(b, 2) >> 4) != 15 &&
         ((byteAt(b, 2) >> 2) & 3) != 3;
}

constexpr std::string_view kWavExtensions = "wav wave bwf";
constexpr std::string_view kWavTypes = "audio/wav audio/x-wav audio/vnd.wave";
constexpr std::string_view kFlacWhole = "every frame of a FLAC file changes";
constexpr std::string_view kWavPackWhole = "every block of a WavPack file changes";

constexpr std::array kTable = {
    FormatKind{AudioFormat::Rifx, "RIFX (big-endian WAV)", isRifx, planWav, {}, true, true, true, {},
               kWavExtensions, kWavTypes},
    FormatKind{AudioFormat::Rf64, "RF64", isRf64, planWav, {}, true, true, true, {}, "wav rf64", kWavTypes},
    FormatKind{AudioFormat::Bw64, "BW64", isBw64, planWav, {}, true, true, true, {}, "wav bw64", kWavTypes},
    FormatKind{AudioFormat::Wav, "WAV", isWav, planWav, {}, true, true, true, {}, kWavExtensions, kWavTypes},
    FormatKind{AudioFormat::Wave64, "Wave64", isWave64, planWave64, {}, false, true, true, {}, "w64", "audio/x-w64"},
    FormatKind{AudioFormat::Aiff, "AIFF", isAiff, planAiff, {}, false, true, true, {}, "aif aiff",
               "audio/x-aiff audio/aiff"},
    FormatKind{AudioFormat::Aifc, "AIFF-C", isAifc, planAiff, {}, false, true, true, {}, "aifc aif aiff",
               "audio/x-aifc audio/x-aiff"},
    FormatKind{AudioFormat::Caf, "CAF", isCaf, planCaf, {}, false, true, true, {}, "caf", "audio/x-caf"},
    FormatKind{AudioFormat::Flac, "FLAC", isFlac, planFlac, {}, true, true, false, kFlacWhole, "flac",
               "audio/flac audio/x-flac"},
    // A correction file (.wvc) is made of blocks of the same kind, and converts alike.
    FormatKind{AudioFormat::WavPack, "WavPack", isWavPack, planWavPack, {}, true, false, false, kWavPackWhole,
               "wv wvc wvp", "audio/x-wavpack audio/x-wavpack-correction", true},
    // The refused kinds inside Ogg come before Vorbis, which takes every other Ogg file.
    FormatKind{AudioFormat::OggOpus, "Ogg Opus", isOggOpus, nullptr,
               "it is Opus, which always decodes at 48000 Hz, whatever rate its header names", true, false,
               false, {}, {}, {}},
    FormatKind{AudioFormat::OggFlac, "Ogg FLAC", isOggFlac, nullptr,
               "it is FLAC in an Ogg stream, whose frames each hold the rate", true, false, false, {}, {}, {}},
    FormatKind{AudioFormat::OggSpeex, "Ogg Speex", isOggSpeex, nullptr,
               "it is Speex, which codes the rate into its stream", true, false, false, {}, {}, {}},
    FormatKind{AudioFormat::OggVorbis, "Ogg Vorbis", isOgg, planOggVorbis, {}, true, true, true, {}, "ogg oga",
               "audio/x-vorbis+ogg audio/ogg audio/vorbis", true},
    FormatKind{AudioFormat::Au, "Sun AU", isAu, planAu, {}, false, true, true, {}, "au snd", "audio/basic"},
    FormatKind{AudioFormat::Sphere, "NIST SPHERE", isSphere, planSphere, {}, false, true, true, {}, "sph nist wav", {}},
    // Its scan refuses MP4 of other codecs, AAC above all, by name.
    FormatKind{AudioFormat::Mp4, "Apple Lossless in MP4", isMp4, planMp4, {}, false, false, true,
               "its index may follow the audio", "m4a mp4", "audio/mp4 audio/x-m4a"},
    FormatKind{AudioFormat::Matroska, "Matroska", isMatroska, nullptr,
               "it is Matroska or WebM, whose codecs hold their rates in their own streams", false, false, false,
               {}, {}, {}},
    FormatKind{AudioFormat::WindowsMedia, "Windows Media", isAsf, nullptr,
               "it is Windows Media audio, whose codecs hold their rates in their own streams", false, false,
               false, {}, {}, {}},
    // FLAC frames share ADTS's sync bits; only a frame header whose CRC-8 holds counts.
    FormatKind{AudioFormat::FlacFrames, "FLAC frames", looksLikeFlacFrames, nullptr,
               "it is FLAC frames with no \"fLaC\" marker and no STREAMINFO, as a cut or captured stream is; "
               "only a whole FLAC file converts",
               true, false, false, {}, {}, {}},
    FormatKind{AudioFormat::Ac3, "AC-3", isAc3, nullptr,
               "it is AC-3 (Dolby Digital), whose frames each hold the rate as one of three fixed rates", true,
               false, false, {}, {}, {}},
    FormatKind{AudioFormat::Voc, "Creative Voice", isVoc, nullptr,
               "it is Creative Voice (VOC), whose sound blocks each hold a rate of their own", false, false, false,
               {}, {}, {}},
    FormatKind{AudioFormat::Svx8, "IFF 8SVX", is8svx, nullptr, "it is Amiga IFF 8SVX, a format Vellora does not change",
               false, false, false, {}, {}, {}},
    FormatKind{AudioFormat::Ircam, "IRCAM", isIrcam, nullptr, "it is IRCAM sound, a format Vellora does not change",
               false, false, false, {}, {}, {}},
    FormatKind{AudioFormat::Adts, "AAC", isAdts, nullptr,
               "it is AAC, whose frames each hold the rate as one of a few fixed rates", true, false, false, {},
               {}, {}},
    FormatKind{AudioFormat::Mp3, "MP3", isMpegAudio, nullptr,
               "it is MP3, whose frames each hold the rate, and only three rates exist for each MPEG version",
               true, false, false, {}, {}, {}},
};

constexpr std::size_t kId3Header = 10;

// The space-separated words of `field` of every kind that converts, each once, in order.
std::string joined(std::string_view separator, std::string_view FormatKind::*field) {
  std::vector<std::string_view> seen;
  std::string text;
  for (const FormatKind& kind : kTable) {
    if (kind.scan == nullptr) continue;
    const std::string_view words = kind.*field;
    for (std::size_t at = 0; at < words.size();) {
      const std::size_t end = std::min(words.find(' ', at), words.size());
      const std::string_view word = words.substr(at, end - at);
      at = end + 1;
      if (std::find(seen.begin(), seen.end(), word) != seen.end()) continue;
      seen.push_back(word);
      if (!text.empty()) text += separator;
      text += word;
    }
  }
  return text;
}

std::string nameList(bool (*keep)(const FormatKind&), std::string_view lastJoin) {
  std::vector<std::string_view> names;
  // WAV's variants are listed after WAV itself.
  for (const FormatKind& kind : kTable)
    if (keep(kind)) names.push_back(kind.name.substr(0, kind.name.find(" (")));
  std::stable_partition(names.begin(), names.end(), [](std::string_view n) { return n == "WAV"; });
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? lastJoin : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace

std::span<const FormatKind> formatTable() { return kTable; }

const FormatKind& formatKind(AudioFormat format) {
  return *std::find_if(kTable.begin(), kTable.end(), [format](const FormatKind& s) { return s.format == format; });
}

std::uint64_t id3v2End(std::span<const std::byte> head) {
  if (!hasId(head, 0, "ID3") || head.size() < kId3Header) return 0;
  std::uint64_t end = kId3Header;
  // The size is syncsafe: 7 bits a byte.
  for (std::size_t i = 6; i < kId3Header; ++i) end += std::uint64_t{byteAt(head, i) & 0x7F} << (7 * (9 - i));
  if ((byteAt(head, 5) & 0x10) != 0) end += kId3Header;  // a footer repeats the header
  return end;
}

const FormatKind* probeHead(std::span<const std::byte> head, bool afterTag) {
  for (const FormatKind& kind : kTable)
    if ((!afterTag || kind.mayFollowId3) && kind.probe != nullptr && kind.probe(head)) return &kind;
  // Behind a tag with nothing known after it: the MP3 that such files mostly are.
  return afterTag ? &formatKind(AudioFormat::Mp3) : nullptr;
}

const FormatKind* recognise(ByteSource& file) {
  std::array<std::byte, kProbeBytes> buffer{};
  ByteSource::Read r = file.readAt(0, buffer);
  const std::uint64_t tagEnd = id3v2End(std::span(buffer).first(r.count));
  if (tagEnd != 0) r = file.readAt(tagEnd, buffer);
  if (!r.status) return nullptr;
  return probeHead(std::span(buffer).first(r.count), tagEnd != 0);
}

std::string convertibleFormatList(std::string_view lastJoin) {
  return nameList([](const FormatKind& s) { return s.scan != nullptr; }, lastJoin);
}
std::string refusedFormatList() {
  return nameList([](const FormatKind& s) { return s.scan == nullptr; }, " and ");
}
std::string wholeFileFormatList(bool forStreams) {
  return forStreams ? nameList([](const FormatKind& s) { return s.scan != nullptr && !s.streams; }, " or ")
                    : nameList([](const FormatKind& s) { return s.scan != nullptr && !s.inPlace; }, " or ");
}
std::string mimeTypeList(std::string_view separator) { return joined(separator, &FormatKind::mimeTypes); }
std::string extensionList(std::string_view separator) { return joined(separator, &FormatKind::extensions); }

}  // namespace vellora
