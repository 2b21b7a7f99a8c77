#include "shellfiles/shell_open.h"

#include <utility>

namespace vellora {

std::string applicationRelative(const std::string& path, const std::string& programDirectory) {
  if (path.find(':') != std::string::npos) return path;
  return programDirectory + "\\" + path;
}

ShellOpener::ShellOpener(Module1& system, std::string programDirectory)
    : system_(system), programDirectory_(std::move(programDirectory)) {}

void ShellOpener::shellopen(std::string& url, std::int16_t mode) {
  // The result is not examined: the caller cannot tell success from failure,
  // and whatever the shell reports is the shell's own affair. The code page
  // round trip of `url` is the identity here, so it keeps its text.
  [[maybe_unused]] const std::intptr_t result =
      system_.ShellExecuteA(0, "open", url, "", "", static_cast<std::int32_t>(mode));
}

void ShellOpener::openAudio(std::string& fname) {
  fname = applicationRelative(fname, programDirectory_);
  shellopen(fname, SW_HIDE);
}

}  // namespace vellora
