#include "speed/au.h"

#include <array>
#include <string>

#include "speed/bytes.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kHeader = 24;  // magic, data offset, data size, encoding, rate, channels
constexpr std::size_t kRateField = 16;
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;

// Bits a sample of each encoding takes; 0 for those coded otherwise.
std::uint32_t bitsOf(std::uint32_t encoding) {
  switch (encoding) {
    case 1: case 2: case 27: return 8;  // mu-law, linear, A-law
    case 3: return 16;
    case 4: return 24;
    case 5: case 6: return 32;  // linear, float
    case 7: return 64;
    case 23: return 4;  // G.721
    case 25: return 3;  // G.723, 3 bits
    case 26: return 5;  // G.723, 5 bits
    default: return 0;
  }
}

}  // namespace

bool isAu(std::span<const std::byte> head) { return hasId(head, 0, ".snd"); }

RatePlan planAu(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Au;
  const std::span<const std::byte> header = input.read(start, kHeader);
  if (header.size() < kHeader) return failShortRead(plan, input, "the file ends inside its header");
  const std::uint32_t dataOffset = read_u32be(header.data() + 4);
  const std::uint32_t dataSize = read_u32be(header.data() + 8);
  const std::uint32_t encoding = read_u32be(header.data() + 12);
  const std::uint32_t rate = read_u32be(header.data() + kRateField);
  const std::uint32_t channels = read_u32be(header.data() + 20);
  if (dataOffset < kHeader) return fail(plan, PlanFailure::Malformed, "its header says the samples start inside it");
  if (channels == 0) return fail(plan, PlanFailure::Malformed, "its header gives no channels");

  // Readers take the rate as a signed 32-bit number.
  const std::optional<double> newRate = newRateWithin(plan, rate, change);
  if (!newRate) return plan;
  summariseSamples(plan, channels, bitsOf(encoding), rate, *newRate);
  plan.before.containerSize = plan.after.containerSize =
      dataSize == kUnknownSize ? 0 : std::int64_t{dataOffset} + dataSize;
  std::array<std::byte, 4> field{};
  write_u32be(field.data(), static_cast<std::uint32_t>(*newRate));
  plan.patches.push_back(patchAt(start + kRateField, field));
  plan.notes.push_back("sample rate of the header at " + offsetText(start + kRateField));
  return plan;
}

}  // namespace vellora
