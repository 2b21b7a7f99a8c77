#include "shellfiles/shell_open.h"

#include <utility>

namespace vellora {

std::string applicationRelative(const std::string& path, const std::string& programDirectory) {
  if (path.find(':') != std::string::npos) return path;
  return programDirectory + "\\" + path;
}

ShellOpener::ShellOpener(Module1& system, std::string programDirectory)
    : system_(system), programDirectory_(std::move(programDirectory)) {}

bool ShellOpener::start(const std::string& url, std::int16_t mode) {
  // The shell's values above 32 mean it started something.
  return system_.ShellExecuteA(0, "open", url, "", "", static_cast<std::int32_t>(mode)) > 32;
}

void ShellOpener::shellopen(std::string& url, std::int16_t mode) {
  // The window cannot tell success from failure: whatever the shell reports
  // is the shell's own affair. The code page round trip of `url` is the
  // identity here, so it keeps its text.
  (void)start(url, mode);
}

bool ShellOpener::openAudio(std::string& fname) {
  fname = applicationRelative(fname, programDirectory_);
  return start(fname, SW_HIDE);
}

}  // namespace vellora
