#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/console.h"
#include "speed/speed_job.h"

namespace vellora::cli {

enum class Mode { Convert, Info, Help, Version };

// How much the program says on standard output and standard error.
enum class Verbosity { Quiet, Normal, Verbose };

struct Options {
  Mode mode = Mode::Convert;
  double percent = kDefaultPercent;
  std::optional<std::uint32_t> rate;  // -r: the new rate itself, instead of the percentage
  std::optional<std::string> outputDirectory;  // as typed; unset means the window's default
  bool play = false;
  bool force = false;
  bool sync = false;      // flush each copy before it takes its name
  bool dryRun = false;    // read the headers, write nothing
  bool toStdout = false;  // -c: the one converted file goes to standard output
  bool inPlace = false;   // change each FILE itself, without a copy
  Verbosity verbosity = Verbosity::Normal;
  std::vector<std::string> files;  // host paths as typed; "-" is standard input
};

struct ParsedArguments {
  Options options;
  std::string usageError;  // empty when the arguments can be acted on
};

// The arguments as they were read, before they are judged together.
struct ReadArguments {
  Options options;
  bool info = false;            // --info was given
  bool fileModeOption = false;  // -p, -r, -o, -f, --in-place, --play or --sync was given
  bool percentGiven = false;    // -p was given
  std::string error;            // an option that could not be read; empty when all could
};

// Reads the arguments after the program name, in the usual getopt_long way:
// short options bundle (-fq, -p90), long ones take --opt=value or the next
// argument, "--" makes every later argument a FILE, and options may follow
// FILEs. --help and --version take effect as soon as they are read.
ReadArguments readArguments(std::span<const std::string> arguments);

// Judges what was read as a whole: which options go together, and whether
// there are FILEs to act on.
ParsedArguments checkArguments(ReadArguments read);

// Both steps: what runCommandLine acts on.
ParsedArguments parseArguments(std::span<const std::string> arguments);

// A rate in hertz as the command line takes it: a whole number in plain
// decimal from 1 to 4294967295, optionally ending in "Hz"; nullopt otherwise.
std::optional<std::uint32_t> readRateText(const std::string& text);

std::string synopsisText();  // the forms of the command
// The whole --help text, with the host's own parts as it names them.
std::string usageText(const HostWords& host);
std::string versionText();

}  // namespace vellora::cli
