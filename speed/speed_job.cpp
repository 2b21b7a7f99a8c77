#include "speed/speed_job.h"

#include <cmath>

#include "shellfiles/file_helpers.h"

namespace vellora {

namespace {

std::string withTagBeforeWav(std::string_view text, std::string_view tag) {
  const std::string replacement = "-" + std::string(tag) + ".wav";
  std::string renamed;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(".wav", from)) != std::string_view::npos; from = at + 4) {
    renamed.append(text, from, at - from);
    renamed += replacement;
  }
  renamed.append(text, from);
  return renamed;
}

}  // namespace

std::optional<double> readPercent(std::string_view text, bool strict) {
  if (!strict) return Val(text);
  std::string_view number = text;
  if (number.ends_with('%')) number.remove_suffix(1);
  const bool plain = number.find_first_not_of("0123456789.") == std::string_view::npos &&
                     number.find_first_of("0123456789") != std::string_view::npos &&
                     number.find('.') == number.rfind('.');
  const double value = plain ? Val(number) : 0;
  if (!(value > 0) || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string speedTag(double percent, std::int32_t previous) {
  const std::optional<std::int32_t> rounded = roundToInt32(percent);
  if (!rounded) return std::to_string(previous);
  return *rounded == 0 && percent != 0 ? formatNumber(percent) : std::to_string(*rounded);
}

std::string rateTag(std::uint32_t rate) { return std::to_string(rate) + "Hz"; }

std::string outputPathFor(const std::string& input, const std::string& sdirout, std::string_view tag) {
  std::string output = sdirout.empty() ? std::string(kDefaultOutputDirectory) : sdirout;
  if (output.back() != '\\') output += '\\';
  const std::size_t lastBackslash = input.rfind('\\');
  return output + speedFileName(lastBackslash == std::string::npos ? input : input.substr(lastBackslash + 1), tag);
}

std::string speedFileName(std::string_view name, std::string_view tag) {
  if (name.find(".wav") != std::string_view::npos) return withTagBeforeWav(name, tag);
  const std::size_t dot = name.rfind('.');
  const std::size_t at = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  std::string renamed(name.substr(0, at));
  renamed += "-";
  renamed += tag;
  renamed += name.substr(at);
  return renamed;
}

std::string headerLines(const AudioSummary& f, std::string_view subject,
                        std::string_view lineEnd) {
  std::string text;
  auto line = [&text, lineEnd](const std::string& content) {
    text += content;
    text += lineEnd;
  };
  line(std::to_string(f.containerSize) + " " + std::string(subject));
  line("bytespersa " + std::to_string(f.blockAlign));
  line("bitspersec " + std::to_string(f.byteRate));
  line("bitspersam " + std::to_string(f.bitsPerSample));
  line("nchannels  " + std::to_string(f.channels));
  line("samplerate " + formatNumber(f.sampleRate));
  return text;
}

std::string headerLogText(const AudioSummary& header, const std::string& input,
                          const std::string& output) {
  return headerLines(header, input + " --> " + output, "\r\n");
}

std::string infoText(const AudioSummary& header) {
  return formatNumber(header.sampleRate) + "bps   " + std::to_string(header.bitsPerSample) + "-bit";
}

SpeedJob::SpeedJob(FileSystem& files, ShellOpener& shell, JobWindow& window, Dialogs& dialogs)
    : files_(files), shell_(shell), window_(window), dialogs_(dialogs) {}

double SpeedJob::settlePercent() {
  if (lastPercent_ == 0) lastPercent_ = kDefaultPercent;
  double percent = *readPercent(window_.percentText(), false);
  if (percent == 0) percent = *readPercent(dialogs_.prompt("Percent speed?", std::to_string(lastPercent_)), false);
  if (percent == 0) percent = 80;
  // A percentage beyond the 32-bit range keeps the previous name.
  if (std::optional<std::int32_t> rounded = roundToInt32(percent)) lastPercent_ = *rounded;
  return percent;
}

std::string SpeedJob::headerLogConflict(const std::string& input, const std::string& output) {
  const std::string log(kHeaderLogPath);
  const char* whose = files_.sameFile(log, input)    ? "input"
                      : files_.sameFile(log, output) ? "output"
                                                     : nullptr;
  if (whose == nullptr) return {};
  return "The header log " + log + " was not written: it is the " + whose +
         " file itself, which it would have replaced.";
}

void SpeedJob::checkfile(const std::string& sfilein, const std::string& sdirout) {
  const double percent = settlePercent();
  const double factor = percent / 100;
  if (sfilein.empty()) {
    dialogs_.message("designate an input filename");
    return;
  }
  const std::string input = applicationRelative(sfilein, shell_.programDirectory());
  const std::string output = outputPathFor(input, sdirout, speedTag(percent, lastPercent_));

  error_.clear();
  const Conversion done =
      convert(files_, {.input = input,
                       .output = output,
                       .factor = factor,
                       .existing = {},
                       .progress = [this, &input](std::uint64_t copied, std::uint64_t total) {
                         return window_.copyProgress(input, copied, total);
                       }});
  window_.copyEnded();
  error_ = done.error;
  // The user stopped it and knows so: no message, no log, nothing played.
  if (error_.failure == JobFailure::Cancelled) return;

  std::string logSkipped;
  if (error_.failure != JobFailure::SameFile) {
    // The log and the summary show the input's header as read, also when the
    // conversion failed; a log that cannot be written is not worth a message.
    logSkipped = headerLogConflict(input, output);
    if (logSkipped.empty())
      (void)writeFileContent(files_, std::string(kHeaderLogPath),
                             files_.fileText(headerLogText(done.plan.before, input, output)));
    window_.setInfo(infoText(done.plan.before));
  }
  if (error_) {
    dialogs_.message(logSkipped.empty() ? message(error_) : message(error_) + " " + logSkipped);
    return;
  }
  if (!logSkipped.empty()) dialogs_.message(logSkipped);

  window_.setCaption("Vellora --> " + output);
  // Play the file that was written: a relative output directory lies below
  // the current directory, not the program's.
  std::string written = output;
  if (written.find(':') == std::string::npos) {
    if (std::optional<std::string> absolute = files_.absolutePath(written)) written = *absolute;
  }
  (void)shell_.openAudio(written);
}

}  // namespace vellora
