#pragma once

#include <optional>
#include <string>

#include "shellfiles/file_system.h"
#include "speed/wav_header.h"

namespace vellora {

enum class JobFailure {
  None,
  SameFile,          // the output path names the input file itself
  InputUnreadable,   // the input cannot be opened or read
  OutputUnwritable,  // the copy cannot be created, written or put in place
  NotFlushed,        // the copy is in place, but its directory could not be flushed to disk
  NoFormatChunk,     // the scan found nothing to patch
  FormatTooShort,    // the format chunk ends before the rates
  RateOutOfRange,    // a scaled rate would fall outside 1 .. 2147483647
  Cancelled,         // the user stopped the copy; there is nothing to tell
};

// The last failure of one conversion. `path` is the file it is about, in the
// form the user gave; `reason` is the system's or the scan's own words.
struct JobError {
  JobFailure failure = JobFailure::None;
  std::string path;
  std::string reason;

  explicit operator bool() const { return failure != JobFailure::None; }
  void clear() { *this = JobError{}; }
  void record(JobFailure f, std::string p, std::string r);
};

// The one place that turns a failure into the user's message.
std::string message(const JobError& error);

struct ConversionRequest {
  std::string input;
  std::string output;
  double factor = 1.0;
  ReplacementFile::Existing existing = ReplacementFile::Existing::Replace;
  CopyProgress progress;
  bool durable = false;  // Flush the copy before it takes its name, and its directory after.
};

struct Conversion {
  HeaderScan header;                  // as read from the input
  std::optional<FormatBody> scaled;   // set when the rates could be scaled
  JobError error;
  std::string copyMethod;  // how the copy was made, as the file system says; empty when unknown
  bool ok() const { return !error; }
};

struct HeaderReading {
  HeaderScan header;
  JobError error;
  bool ok() const { return !error; }
};

// The input's header as a conversion reads it, without writing anything.
HeaderReading readHeader(FileSystem& files, const std::string& input);

// What a conversion would do with a header read elsewhere (a dry run, a
// stream): the scaled rates, or the failure that would stop it.
Conversion planConversion(HeaderScan header, const std::string& input, double factor);

// Copies the input beside the output, patches the copy's two rates and puts
// it in place under the output name. On any failure the output path is left
// as it was and nothing new stays behind; the input is only ever read.
Conversion convert(FileSystem& files, const ConversionRequest& request);

// Plain decimal for the user: 90, 90.5, -50.
std::string formatNumber(double value);

}  // namespace vellora
