#include "speed/alac.h"

#include <array>

#include "speed/bytes.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kBitDepthAt = 5;
constexpr std::size_t kChannelsAt = 9;
constexpr std::size_t kBitRateAt = 16;  // followed by the sample rate

}  // namespace

AlacConfig readAlacConfig(std::span<const std::byte, kAlacConfigBytes> config) {
  return {.bits = octet(config[kBitDepthAt]),
          .channels = octet(config[kChannelsAt]),
          .bitRate = read_u32be(config.data() + kBitRateAt),
          .rate = read_u32be(config.data() + kBitRateAt + 4)};
}

bool planAlacConfig(RatePlan& plan, std::uint64_t offset, const AlacConfig& config, double newRate,
                    const RateChange& change) {
  const double newBitRate = config.bitRate == std::uint64_t{config.bits} * config.channels * config.rate
                                ? newRate * config.bits * config.channels
                                : scaledAlong(config.bitRate, config.rate, change);
  if (!(newBitRate >= 0 && newBitRate <= 4294967295.0)) {
    fail(plan, PlanFailure::RateOutOfRange, "its Apple Lossless bit rate would grow too large");
    return false;
  }
  std::array<std::byte, 8> rates{};
  write_u32be(rates.data(), static_cast<std::uint32_t>(newBitRate));
  write_u32be(rates.data() + 4, static_cast<std::uint32_t>(newRate));
  plan.patches.push_back(patchAt(offset + kBitRateAt, rates));
  return true;
}

}  // namespace vellora
