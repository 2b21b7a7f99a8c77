#include "speed/audio_format.h"

#include <algorithm>
#include <array>
#include <string>

#include "speed/format_table.h"
#include "speed/plan_support.h"
#include "speed/wav_header.h"

namespace vellora {
namespace {

// A stream holds what it reads until the scan passes it: a longer tag in
// front is not read through.
constexpr std::uint64_t kLargestStreamTag = std::uint64_t{16} << 20;

RatePlan refused(AudioFormat format, PlanFailure failure, std::string reason) {
  RatePlan plan;
  plan.format = format;
  return fail(plan, failure, std::move(reason));
}

// Raw PCM lands here too, and this is the whole of its reason.
std::string unknownReason() {
  return "it is none of " + convertibleFormatList(" or ") + ", and has no header that states a rate";
}

// What nothing in the table recognised. A file whose chunks hold a WAV format
// chunk converts all the same, whatever its first letters; a stream cannot
// be walked without writing what it passes.
RatePlan planUnknown(ScanInput& input, const RateChange& change) {
  if (input.file() == nullptr) return refused(AudioFormat::Wav, PlanFailure::UnknownFormat, unknownReason());
  RatePlan plan = planWav(input, 0, change);
  if (plan.failure == PlanFailure::NotRecognised) fail(plan, PlanFailure::UnknownFormat, unknownReason());
  return plan;
}

}  // namespace

RatePlan planRateChange(ByteSource& file, const RateChange& change, const CopyProgress& progress) {
  ScanInput input(file, progress);
  return planRateChange(input, change);
}

RatePlan planRateChange(ScanInput& input, const RateChange& change) {
  std::array<std::byte, kProbeBytes> head{};
  std::span<const std::byte> read = input.read(0, kProbeBytes);
  const std::uint64_t start = id3v2End(read);
  if (start != 0) {
    if (input.file() == nullptr && start > kLargestStreamTag)
      return refused(AudioFormat::Mp3, PlanFailure::Unsupported,
                     "it starts with an ID3 tag of more than 16 MiB, which a stream is not read through");
    read = input.read(start, kProbeBytes);
  }
  if (input.failed()) {
    RatePlan plan;
    return failShortRead(plan, input, {});
  }
  std::copy(read.begin(), read.end(), head.begin());

  const FormatKind* kind = probeHead(std::span(head).first(read.size()), start != 0);
  if (kind == nullptr) return planUnknown(input, change);
  if (kind->scan == nullptr) return refused(kind->format, PlanFailure::Unsupported, std::string(kind->refusal));
  if (input.file() == nullptr && !kind->streams)
    return refused(kind->format, PlanFailure::NotStreamable,
                   std::string(kind->whyWhole) + ", so it converts only as a file");
  return kind->scan(input, start, change);
}

std::string_view formatName(AudioFormat format) { return formatKind(format).name; }

}  // namespace vellora
