#include "speed/flac.h"

namespace vellora {

// Recognised, and refused until the frame-by-frame change lands.
RatePlan planFlac(ByteSource&, const RateChange&, const CopyProgress&) {
  RatePlan plan;
  plan.format = AudioFormat::Flac;
  plan.failure = PlanFailure::Unsupported;
  plan.reason = "it is FLAC, which this build cannot change yet";
  return plan;
}

}  // namespace vellora
