#include "speed/wave64.h"

#include <array>
#include <cstring>
#include <string>

#include "speed/bytes.h"
#include "speed/chunk_walk.h"
#include "speed/plan_support.h"
#include "speed/wav_header.h"

namespace vellora {
namespace {

using namespace std::string_view_literals;
constexpr std::string_view kRiff = "riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00"sv;
// Wave64's own chunks share the last twelve bytes of their GUIDs.
constexpr std::string_view kFormat = "fmt \xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"sv;
constexpr std::string_view kData = "data\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"sv;

constexpr std::size_t kFileHeader = 40;  // riff GUID, size, wave GUID
constexpr std::uint64_t kShortestFormat = 12;  // the two rates' end

}  // namespace

bool isWave64(std::span<const std::byte> head) { return hasId(head, 0, kRiff); }

RatePlan planWave64(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Wave64;
  const std::span<const std::byte> header = input.read(start, kFileHeader);
  if (header.size() < kFileHeader) return failShortRead(plan, input, "the file ends inside its Wave64 header");
  plan.before.containerSize = static_cast<std::int64_t>(read_u64le(header.data() + 16));

  // Readers differ in which of two format chunks they take, so every one changes.
  int skipped = 0;
  ChunkWalk walk(input, ChunkLayout::Wave64, start + kFileHeader);
  while (const std::optional<Chunk> chunk = walk.next(plan.patches)) {
    const bool first = plan.patches.empty();
    if (chunk->is(kData) && first)
      return fail(plan, PlanFailure::Malformed, "its data chunk comes before the format chunk");
    if (!chunk->is(kFormat)) {
      skipped += first ? 1 : 0;
      continue;
    }
    const std::span<const std::byte> raw = input.read(chunk->body, FormatBody::bytes);
    if (chunk->size < kShortestFormat || raw.size() < FormatBody::bytes) {
      if (!first) break;  // past the first, a damaged chunk ends what readers find
      if (chunk->size < kShortestFormat) return fail(plan, PlanFailure::Malformed, "its format chunk is too short");
      return failShortRead(plan, input, "the file ends inside its format chunk");
    }
    const FormatBody body = FormatBody::decode(raw.first<FormatBody::bytes>());
    const AudioSummary after = plan.after;
    if (first) {
      plan.before.blockAlign = body.blockAlign;
      plan.before.byteRate = body.byteRate;
      plan.before.bitsPerSample = body.bitsPerSample;
      plan.before.channels = body.channels;
      plan.before.sampleRate = body.sampleRate;
    }
    const auto bodySize = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk->size, 0xFFFFFFFF));
    const std::uint16_t codec = codecOf(input, body, chunk->body, bodySize, ByteOrder::Little);
    if (!planFormatBody(plan, body, ByteOrder::Little, chunk->body, codec, change)) return plan;
    if (!first) plan.after = after;
    plan.notes.push_back(first ? "format chunk at " + offsetText(chunk->offset) + ", " + std::to_string(skipped) +
                                     (skipped == 1 ? " chunk" : " chunks") + " skipped before it"
                               : "another format chunk at " + offsetText(chunk->offset));
  }
  if (walk.end() == WalkEnd::ReadFailed) return failShortRead(plan, input, {});
  if (plan.patches.empty()) {
    if (walk.end() == WalkEnd::BadSize)
      return fail(plan, PlanFailure::Malformed, "its chunk at " + offsetText(walk.position()) + " has an impossible size");
    if (walk.end() == WalkEnd::PastEnd)
      return fail(plan, PlanFailure::Malformed, "a chunk runs past the end of the file before its format chunk");
    return fail(plan, PlanFailure::Malformed, "it has no format chunk");
  }
  return plan;
}

}  // namespace vellora
