#include "speed/speed_job.h"

#include "shellfiles/file_helpers.h"

namespace vellora {

namespace {

std::string withPercentBeforeWav(std::string_view text, std::int32_t percent) {
  const std::string replacement = "-" + std::to_string(percent) + ".wav";
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

std::string outputPathFor(const std::string& input, const std::string& sdirout,
                          std::int32_t percent) {
  std::string output = sdirout.empty() ? std::string(kDefaultOutputDirectory) : sdirout;
  if (output.back() != '\\') output += '\\';
  const std::size_t lastBackslash = input.rfind('\\');
  output += lastBackslash == std::string::npos ? input : input.substr(lastBackslash + 1);
  return withPercentBeforeWav(output, percent);
}

std::string speedFileName(std::string_view name, std::int32_t percent) {
  if (name.find(".wav") != std::string_view::npos) return withPercentBeforeWav(name, percent);
  const std::size_t dot = name.rfind('.');
  const std::size_t at = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  std::string renamed(name.substr(0, at));
  renamed += "-" + std::to_string(percent);
  renamed += name.substr(at);
  return renamed;
}

std::string headerLines(const HeaderScan& header, std::string_view subject,
                        std::string_view lineEnd) {
  const FormatBody& f = header.format;
  std::string text;
  auto line = [&text, lineEnd](const std::string& content) {
    text += content;
    text += lineEnd;
  };
  line(std::to_string(header.riff.size) + " " + std::string(subject));
  line("bytespersa " + std::to_string(f.blockAlign));
  line("bitspersec " + std::to_string(f.byteRate));
  line("bitspersam " + std::to_string(f.bitsPerSample));
  line("nchannels  " + std::to_string(f.channels));
  line("samplerate " + std::to_string(f.sampleRate));
  return text;
}

std::string headerLogText(const HeaderScan& header, const std::string& input,
                          const std::string& output) {
  return headerLines(header, input + " --> " + output, "\r\n");
}

std::string infoText(const FormatBody& format) {
  return std::to_string(format.sampleRate) + "bps   " + std::to_string(format.bitsPerSample) +
         "-bit";
}

SpeedJob::SpeedJob(FileSystem& files, ShellOpener& shell, JobWindow& window, Dialogs& dialogs)
    : files_(files), shell_(shell), window_(window), dialogs_(dialogs) {}

double SpeedJob::settlePercent() {
  if (lastPercent_ == 0) lastPercent_ = 90;
  double percent = Val(window_.percentText());
  if (percent == 0) percent = Val(dialogs_.prompt("Percent speed?", std::to_string(lastPercent_)));
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
  const double factor = settlePercent() / 100;
  if (sfilein.empty()) {
    dialogs_.message("designate an input filename");
    return;
  }
  const std::string input = applicationRelative(sfilein, shell_.programDirectory());
  const std::string output = outputPathFor(input, sdirout, lastPercent_);

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
                             files_.fileText(headerLogText(done.header, input, output)));
    window_.setInfo(infoText(done.header.format));
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
  shell_.openAudio(written);
}

}  // namespace vellora
