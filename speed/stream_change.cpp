#include "speed/stream_change.h"

#include "speed/audio_format.h"

namespace vellora {

StreamChange changeStream(ByteStream& in, ByteSink& out, const RateChange& change,
                          const std::string& input, const std::string& output) {
  StreamChange result;
  ScanInput scan(in, out);
  result.plan = planRateChange(scan, change);
  if (result.plan.ok()) scan.finish(result.plan.patches);
  if (scan.outputFailed()) {
    result.error.record(JobFailure::OutputUnwritable, output, scan.status().reason());
  } else if (!result.plan.ok()) {
    recordPlanFailure(result.plan, input, result.error);
  } else if (!scan.status()) {
    result.error.record(JobFailure::InputUnreadable, input, scan.status().reason());
  }
  if (result.error) result.error.written = scan.written();
  return result;
}

}  // namespace vellora
