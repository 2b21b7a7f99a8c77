#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellora::cli {

enum class Mode { Convert, Info, Help, Version };

struct Options {
  Mode mode = Mode::Convert;
  double percent = 90;
  std::optional<std::string> outputDirectory;  // as typed; unset means the window's default
  bool play = false;
  bool force = false;
  std::vector<std::string> files;  // host paths as typed
};

struct ParsedArguments {
  Options options;
  std::string usageError;  // empty when the arguments can be acted on
};

// Reads the arguments after the program name. --help and --version take
// effect as soon as they are read; "--" makes every later argument a FILE.
ParsedArguments parseArguments(std::span<const std::string> arguments);

std::string synopsisText();  // the three forms of the command
std::string usageText();     // the whole --help text
std::string versionText();

}  // namespace vellora::cli
