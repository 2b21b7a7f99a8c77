#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shellfiles/dialogs.h"
#include "shellfiles/file_system.h"
#include "shellfiles/shell_open.h"
#include "speed/conversion.h"
#include "shellfiles/numbers.h"

namespace vellora {

// What the speed-change job reads from and writes to the window.
class JobWindow {
 public:
  virtual ~JobWindow() = default;
  virtual std::string percentText() = 0;  // the text of the speed list Combo1
  virtual void setCaption(const std::string& caption) = 0;
  virtual void setInfo(const std::string& info) = 0;  // the caption of lblInfo
  // Told how far the copy of `file` has come; false stops it without a word.
  virtual bool copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) {
    (void)file, (void)done, (void)total;
    return true;
  }
  // The copy told of above has ended, done or not, before any message.
  virtual void copyEnded() {}
};

inline constexpr std::string_view kDefaultOutputDirectory = "C:\\temp\\vellora\\";
inline constexpr std::string_view kHeaderLogPath = "C:\\temp\\vellora\\info.xls";

// The speed when none is chosen: the command line's, and the prompt's first offer.
inline constexpr std::int32_t kDefaultPercent = 90;

// A percentage as typed: the number at the start of the text, "90%" giving
// 90 and "?%" 0. `strict`, for the command line, also wants nothing but
// digits, one ".", and a "%" at the end, and a value greater than 0;
// nullopt otherwise.
std::optional<double> readPercent(std::string_view text, bool strict);

// What a copy's name carries for a speed: the percentage rounded ("90"), or
// as given where it rounds to 0 ("0.5"), so that no two speeds share a name;
// `previous` where it lies beyond the 32-bit range.
std::string speedTag(double percent, std::int32_t previous);
// The same for a rate given itself: "48000Hz".
std::string rateTag(std::uint32_t rate);

// The output file's path: the directory (default, with a "\" appended when
// missing) and the input's name after its last "\", named by speedFileName.
std::string outputPathFor(const std::string& input, const std::string& sdirout, std::string_view tag);

// A file name that always shows the speed, `tag` ("90", or "48000Hz" for an
// exact rate): every ".wav" replaced by "-<tag>.wav", or, in a name without
// ".wav", "-<tag>" put before the last extension, or appended when there is
// none. A leading dot starts no extension.
std::string speedFileName(std::string_view name, std::string_view tag);

// The header's six values: the container's size followed by `subject`,
// then the format's fields under the header log's labels, each line ended by
// `lineEnd`.
std::string headerLines(const AudioSummary& header, std::string_view subject,
                        std::string_view lineEnd);
// The six lines of the header log, each ended by CR LF.
std::string headerLogText(const AudioSummary& header, const std::string& input,
                          const std::string& output);
// The summary shown in lblInfo: "44100bps   16-bit".
std::string infoText(const AudioSummary& header);

class SpeedJob {
 public:
  SpeedJob(FileSystem& files, ShellOpener& shell, JobWindow& window, Dialogs& dialogs);

  // Settles the speed, copies `sfilein` into `sdirout` under a name that
  // carries it, patches the copy's rates, logs the input's header and plays
  // the copy. Every failure ends in a message that names the file, but for a
  // copy the window cancelled, which ends quietly with nothing written.
  void checkfile(const std::string& sfilein, const std::string& sdirout);

  std::int32_t lastPercent() const { return lastPercent_; }
  const JobError& error() const { return error_; }

 private:
  double settlePercent();
  // Why the header log must not be written over the job's own files, or "".
  std::string headerLogConflict(const std::string& input, const std::string& output);

  FileSystem& files_;
  ShellOpener& shell_;
  JobWindow& window_;
  Dialogs& dialogs_;
  std::int32_t lastPercent_ = 0;
  JobError error_;
};

}  // namespace vellora
