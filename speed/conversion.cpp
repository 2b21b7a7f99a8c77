#include "speed/conversion.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace vellora {

void JobError::record(JobFailure f, std::string p, std::string r) {
  failure = f;
  path = std::move(p);
  reason = std::move(r);
}

std::string message(const JobError& error) {
  switch (error.failure) {
    case JobFailure::None:
    case JobFailure::Cancelled: return {};
    case JobFailure::SameFile:
      return "The output " + error.path +
             " is the input file itself. Choose another output directory; nothing was changed.";
    case JobFailure::InputUnreadable: return "Could not read " + error.path + ": " + error.reason;
    case JobFailure::OutputUnwritable: return "Could not write " + error.path + ": " + error.reason;
    case JobFailure::NotFlushed:
      return "Wrote " + error.path + ", but could not flush its directory to disk (" + error.reason +
             "): the copy is in place but may not survive a power cut.";
    case JobFailure::NoFormatChunk:
      return "Found no format chunk in " + error.path + ": " + error.reason +
             ". Nothing was written.";
    case JobFailure::FormatTooShort:
    case JobFailure::RateOutOfRange:
      return "Could not change the speed of " + error.path + ": " + error.reason +
             ". Nothing was written.";
  }
  return {};
}

std::string formatNumber(double value) {
  if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::trunc(value))
    return std::to_string(static_cast<long long>(value));
  std::array<char, 32> text{};
  auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} ? std::string(text.data(), end) : std::string("?");
}

namespace {

std::string rateProblem(const FormatBody& body, double factor) {
  if (std::isinf(factor))
    return factor > 0 ? "the percentage is too large" : "the percentage is too far below zero";
  return "it would get a sample rate of " +
         formatNumber(std::nearbyint(body.sampleRate * factor)) + " and a byte rate of " +
         formatNumber(std::nearbyint(body.byteRate * factor)) +
         ", and both must lie between 1 and 2147483647";
}

// Records why the scan ended without a format chunk to patch, if it did.
void recordScanFailure(const HeaderScan& header, const std::string& input, JobError& error) {
  if (header.end == ScanEnd::ReadFailed)
    error.record(JobFailure::InputUnreadable, input, header.readStatus.reason());
  else if (header.end == ScanEnd::FormatTooShort)
    error.record(JobFailure::FormatTooShort, input, std::string(describe(header.end)));
  else if (!header.found())
    error.record(JobFailure::NoFormatChunk, input, std::string(describe(header.end)));
}

}  // namespace

HeaderReading readHeader(FileSystem& files, const std::string& input) {
  HeaderReading result;
  Opened<InputFile> opened = files.openInput(input);
  if (!opened.status) {
    result.error.record(JobFailure::InputUnreadable, input, opened.status.reason());
    return result;
  }
  result.header = scanHeader(*opened.file);
  recordScanFailure(result.header, input, result.error);
  return result;
}

Conversion planConversion(HeaderScan header, const std::string& input, double factor) {
  Conversion result;
  result.header = std::move(header);
  recordScanFailure(result.header, input, result.error);
  if (result.error) return result;
  result.scaled = scaleTiming(result.header.format, factor);
  if (!result.scaled)
    result.error.record(JobFailure::RateOutOfRange, input, rateProblem(result.header.format, factor));
  return result;
}

Conversion convert(FileSystem& files, const ConversionRequest& request) {
  Conversion result;
  JobError& error = result.error;

  if (files.sameFile(request.input, request.output)) {
    error.record(JobFailure::SameFile, request.output, {});
    return result;
  }

  Opened<InputFile> input = files.openInput(request.input);
  if (!input.status) {
    error.record(JobFailure::InputUnreadable, request.input, input.status.reason());
    return result;
  }

  // The header decides before anything is copied: a file with nothing to
  // patch costs no copy and no space.
  result = planConversion(scanHeader(*input.file), request.input, request.factor);
  if (error) return result;

  Opened<ReplacementFile> output = files.createReplacement(request.output);
  if (!output.status) {
    error.record(JobFailure::OutputUnwritable, request.output, output.status.reason());
  } else if (IoStatus s = output.file->copyFrom(*input.file, request.progress); !s) {
    if (s.wasCancelled())
      error.record(JobFailure::Cancelled, request.output, {});
    else if (s.whileReading())
      error.record(JobFailure::InputUnreadable, request.input, s.reason());
    else
      error.record(JobFailure::OutputUnwritable, request.output, s.reason());
  }
  if (output.file) result.copyMethod = output.file->copyMethod();
  if (error) {
    // What a failed copy logs stays as it was: the first chunk only.
    result.header = scanHeader(*input.file, true);
    result.scaled.reset();
    return result;
  }

  if (request.durable) output.file->makeDurable();
  if (IoStatus s = patchFormat(*output.file, result.header, *result.scaled); !s) {
    error.record(JobFailure::OutputUnwritable, request.output, s.reason());
  } else if (IoStatus c = output.file->commit(request.existing); !c) {
    error.record(c.inPlace() ? JobFailure::NotFlushed : JobFailure::OutputUnwritable, request.output, c.reason());
  }
  return result;
}

}  // namespace vellora
