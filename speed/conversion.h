#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shellfiles/file_system.h"
#include "shellfiles/numbers.h"
#include "speed/rate_plan.h"

namespace vellora {

enum class JobFailure {
  None,
  SameFile,          // the output path names the input file itself
  InputUnreadable,   // the input cannot be opened or read
  OutputUnwritable,  // the copy cannot be created, written or put in place
  NotFlushed,        // the copy is in place, but its directory could not be flushed to disk
  UnknownFormat,     // none of the known formats
  NoFormatChunk,     // a RIFF file without a format chunk
  Unsupported,       // a format whose rate cannot change without re-encoding
  Malformed,         // a known format whose header cannot be trusted
  RateOutOfRange,    // the new rate does not fit the format
  NotInPlace,        // the change cannot be made in the file itself
  NotStreamable,     // the change cannot be made to a stream
  Cancelled,         // the user stopped the scan or the copy; there is nothing to tell
};

// The last failure of one conversion. `path` is the file it is about, in the
// form the user gave; `reason` is the system's or the scan's own words.
struct JobError {
  JobFailure failure = JobFailure::None;
  std::string path;
  std::string reason;
  std::uint64_t written = 0;  // what a stream had written out before it failed

  explicit operator bool() const { return failure != JobFailure::None; }
  void clear() { *this = JobError{}; }
  void record(JobFailure f, std::string p, std::string r);
};

// The one place that turns a failure into the user's message.
std::string message(const JobError& error);

// Records why `plan` cannot be carried out on `input`, if it cannot.
void recordPlanFailure(const RatePlan& plan, const std::string& input, JobError& error);

struct ConversionRequest {
  std::string input;
  std::string output;
  double factor = 1.0;
  ReplacementFile::Existing existing = ReplacementFile::Existing::Replace;
  // Told how far the scan and then the copy have come, as one run from 0 to
  // the total; false stops either.
  CopyProgress progress;
  bool durable = false;  // Flush the copy before it takes its name, and its directory after.
  std::optional<std::uint32_t> exactRate = std::nullopt;  // the new rate itself, instead of the factor

  RateChange change() const { return {.factor = factor, .exactRate = exactRate}; }
};

struct Conversion {
  RatePlan plan;  // the input's header as read, and what the change does
  JobError error;
  std::string copyMethod;  // how the copy was made, as the file system says; empty when unknown
  bool ok() const { return !error; }
};

// What a conversion of `input` would do, read and planned without writing
// anything.
Conversion planFile(FileSystem& files, const std::string& input, const RateChange& change);

// Copies the input beside the output, patches the copy's rates and puts it
// in place under the output name. On any failure the output path is left as
// it was and nothing new stays behind; the input is only ever read.
Conversion convert(FileSystem& files, const ConversionRequest& request);

struct InPlaceRequest {
  std::string path;
  RateChange change;
  bool durable = false;  // flush the change to disk before returning
  bool write = true;     // false: decide only, as a dry run does
};

// Changes the rates in the file itself, where the change is a few bytes in
// one aligned 512-byte sector, written at once; refuses anything else (FLAC, a
// chained Ogg file whose streams lie far apart) before writing. The file is
// scanned again just before the write, which happens only when the second
// scan plans the very same bytes.
Conversion changeInPlace(FileSystem& files, const InPlaceRequest& request);

// Copies `input` into `output` a block at a time, each block written with
// the patches that fall in it; for plans with many patches, where a write
// each after the kernel's copy would cost more than the copy. Blocks of
// 1 MiB copied 1 GiB a fifth faster than 4 MiB, and scattered far less.
inline constexpr std::size_t kPatchedBlock = std::size_t{1} << 20;
IoStatus copyPatched(InputFile& input, ReplacementFile& output, const std::vector<Patch>& patches,
                     const CopyProgress& progress, std::size_t blockSize = kPatchedBlock);

// The span a change in place must lie within: the sector, which drives
// write whole even when the power fails (larger pages may tear between sectors).
inline constexpr std::uint64_t kInPlaceBlock = 512;

}  // namespace vellora
