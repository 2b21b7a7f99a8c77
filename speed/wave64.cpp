#include "speed/wave64.h"

#include <array>
#include <cstring>
#include <string>

#include "speed/bytes.h"
#include "speed/plan_support.h"
#include "speed/wav_header.h"

namespace vellora {
namespace {

using Guid = std::array<unsigned char, 16>;
constexpr Guid kRiff{'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
// Wave64's own chunks share the last twelve bytes of their GUIDs.
constexpr Guid kFormat{'f', 'm', 't', ' ', 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr Guid kData{'d', 'a', 't', 'a', 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

constexpr std::size_t kFileHeader = 40;  // riff GUID, size, wave GUID
constexpr std::size_t kChunkHeader = 24;  // GUID, size
constexpr std::uint64_t kShortestFormat = 12;  // the two rates' end

bool is(const std::byte* p, const Guid& guid) { return std::memcmp(p, guid.data(), guid.size()) == 0; }

}  // namespace

bool isWave64(std::span<const std::byte> head) { return head.size() >= kRiff.size() && is(head.data(), kRiff); }

RatePlan planWave64(ScanInput& input, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Wave64;
  const std::span<const std::byte> header = input.read(0, kFileHeader);
  if (header.size() < kFileHeader) return failShortRead(plan, input, "the file ends inside its Wave64 header");
  plan.before.containerSize = static_cast<std::int64_t>(read_u64le(header.data() + 16));

  for (std::uint64_t offset = kFileHeader, skipped = 0;; ++skipped) {
    const std::span<const std::byte> chunk = input.read(offset, kChunkHeader);
    if (chunk.size() < kChunkHeader) return failShortRead(plan, input, "it has no format chunk");
    const std::uint64_t size = read_u64le(chunk.data() + 16);
    if (size < kChunkHeader)
      return fail(plan, PlanFailure::Malformed, "its chunk at " + offsetText(offset) + " has an impossible size");

    if (is(chunk.data(), kFormat)) {
      if (size - kChunkHeader < kShortestFormat)
        return fail(plan, PlanFailure::Malformed, "its format chunk is too short");
      const std::uint64_t bodyAt = offset + kChunkHeader;
      const std::span<const std::byte> raw = input.read(bodyAt, FormatBody::bytes);
      if (raw.size() < FormatBody::bytes) return failShortRead(plan, input, "the file ends inside its format chunk");
      const FormatBody body = FormatBody::decode(raw.first<FormatBody::bytes>());
      plan.before.blockAlign = body.blockAlign;
      plan.before.byteRate = body.byteRate;
      plan.before.bitsPerSample = body.bitsPerSample;
      plan.before.channels = body.channels;
      plan.before.sampleRate = body.sampleRate;
      const auto bodySize = static_cast<std::uint32_t>(std::min<std::uint64_t>(size - kChunkHeader, 0xFFFFFFFF));
      const std::uint16_t codec = codecOf(input, body, bodyAt, bodySize, ByteOrder::Little);
      if (!planFormatBody(plan, body, ByteOrder::Little, bodyAt, codec, change)) return plan;
      plan.notes.push_back("format chunk at " + offsetText(offset) + ", " + std::to_string(skipped) +
                           (skipped == 1 ? " chunk" : " chunks") + " skipped before it");
      return plan;
    }
    if (is(chunk.data(), kData))
      return fail(plan, PlanFailure::Malformed, "its data chunk comes before the format chunk");

    // A size near 2^64 would wrap round to where the chunk starts.
    const std::uint64_t next = offset + ((size + 7) & ~std::uint64_t{7});
    if (next <= offset || next > input.size())
      return fail(plan, PlanFailure::Malformed, "a chunk runs past the end of the file before its format chunk");
    offset = next;
    input.pass(offset, plan.patches);
  }
}

}  // namespace vellora
