#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// A format's scan: plans the change of rate of the recording whose own bytes
// begin at `start` (after an ID3v2 tag, where one comes first).
using FormatScan = RatePlan (*)(ScanInput& input, std::uint64_t start, const RateChange& change);

// Whether `head`, the first bytes where a recording begins, are this format's.
using FormatProbe = bool (*)(std::span<const std::byte> head);

// One kind of recording, as every part of the program knows it.
struct FormatKind {
  AudioFormat format;
  std::string_view name;  // as -v, -i, --help and messages print it
  FormatProbe probe;      // nullptr: its container's scan tells it apart
  // nullptr for a kind whose rate cannot change without re-encoding.
  FormatScan scan;
  std::string_view refusal;  // such a kind's reason: "it is MP3, whose frames ..."
  bool mayFollowId3;         // recognised behind an ID3v2 tag at the start
  bool streams;              // converts as a stream (-c)
  bool inPlace;              // its change is a few bytes, which can be written in the file itself
  // Why it does not stream or change in place, where it does not.
  std::string_view whyWhole;
  std::string_view extensions;  // the usual ones, lower case, space separated
  std::string_view mimeTypes;   // as the desktop names them, space separated
  // Its scan reads every byte of the file (to check every page's or block's
  // checksum), so the copy goes on beside it rather than after it.
  bool scansWhole = false;
};

// Every kind, in the order they are told apart: those that convert, then
// those that are refused.
std::span<const FormatKind> formatTable();
const FormatKind& formatKind(AudioFormat format);

// How many first bytes the probes look at.
inline constexpr std::size_t kProbeBytes = 64;

// The kind whose probe takes `head`, the first bytes where a recording
// begins, or nullptr; `afterTag` when an ID3v2 tag came before them.
const FormatKind* probeHead(std::span<const std::byte> head, bool afterTag);

// What the first bytes of a file say it is, after an ID3v2 tag where one
// comes first; nullptr when no kind of the table matches.
const FormatKind* recognise(ByteSource& file);

// The names of the kinds that convert, or of those refused, as a list for
// people: "WAV, RF64, ... and Ogg Vorbis".
std::string convertibleFormatList(std::string_view lastJoin = " and ");
std::string refusedFormatList();
// The kinds that convert but not as a stream (`forStreams`), or not in place.
std::string wholeFileFormatList(bool forStreams);

// The MIME types and extensions of every kind that converts, in table order,
// each once.
std::string mimeTypeList(std::string_view separator);
std::string extensionList(std::string_view separator);

// Where an ID3v2 tag that starts `head` ends; 0 when none starts it.
std::uint64_t id3v2End(std::span<const std::byte> head);

}  // namespace vellora
