#pragma once

#include <string>

#include "speed/conversion.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

struct StreamChange {
  RatePlan plan;
  JobError error;
  bool ok() const { return !error; }
};

// Converts the front of the stream `in` into `out`: the format's scan reads
// it once, writing out what it has passed as it goes (a stream's chunks
// before its format chunk, an Ogg file's pages), so that memory stays flat
// however far the header lies; what the plan patches is written patched. On
// success everything read so far has been written, and the rest of `in` is
// to be copied unchanged. A stream refused at its start (an unknown or
// unsupported format, FLAC, whose frames all change) writes nothing; one that
// fails further on has written what came before. Failures name `input` or `output`.
StreamChange changeStream(ByteStream& in, ByteSink& out, const RateChange& change,
                          const std::string& input, const std::string& output);

}  // namespace vellora
