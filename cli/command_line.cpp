#include "cli/command_line.h"

#include "speed/speed_job.h"

namespace vellora::cli {
namespace {

constexpr const char* kSynopsis =
    "Usage: vellora-cli [-p PERCENT] [-o DIR] [--play] [--force] FILE...\n"
    "       vellora-cli --info FILE...\n"
    "       vellora-cli --help | --version\n";

// The percentage as the window reads it; the error when it cannot serve.
std::string readPercent(const std::string& text, double& percent) {
  percent = Val(text);
  if (!(percent > 0)) return "-p takes a percentage greater than 0, not '" + text + "'";
  if (!roundToInt32(percent)) return "-p " + text + " is too large a percentage";
  return {};
}

}  // namespace

ParsedArguments parseArguments(std::span<const std::string> arguments) {
  ParsedArguments parsed;
  Options& options = parsed.options;
  auto refuse = [&parsed](std::string why) {
    parsed.usageError = std::move(why);
    return parsed;
  };
  bool info = false, conversionOption = false, optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      options.files.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "--version") {
      options.mode = argument == "--help" ? Mode::Help : Mode::Version;
      return parsed;
    } else if (argument == "--info") {
      info = true;
    } else if (argument == "--play") {
      options.play = conversionOption = true;
    } else if (argument == "--force") {
      options.force = conversionOption = true;
    } else if (argument == "-p" || argument == "-o") {
      if (i + 1 == arguments.size()) return refuse(argument + " needs a value");
      const std::string& value = arguments[++i];
      conversionOption = true;
      if (argument == "-p") {
        if (std::string why = readPercent(value, options.percent); !why.empty()) return refuse(why);
      } else if (value.empty()) {
        return refuse("-o needs a directory");
      } else {
        options.outputDirectory = value;
      }
    } else {
      return refuse("unknown option '" + argument + "'");
    }
  }
  if (info && conversionOption) return refuse("--info takes no -p, -o, --play or --force");
  if (options.files.empty()) return refuse("no FILE given");
  options.mode = info ? Mode::Info : Mode::Convert;
  return parsed;
}

std::string synopsisText() { return kSynopsis; }

std::string usageText() {
  return synopsisText() +
         "\n"
         "Copies each WAV FILE under a name that carries the speed (talk.wav at 90%\n"
         "becomes talk-90.wav) and rewrites only the copy's sample rate and byte rate,\n"
         "so that it plays at PERCENT of its speed. FILE itself is only read.\n"
         "\n"
         "  -p PERCENT  the speed in percent, greater than 0 (default 90); the name\n"
         "              carries it rounded, the rates are scaled by the exact value\n"
         "  -o DIR      the output directory, created when missing (default\n"
         "              C:\\temp\\vellora\\ on the drive map: ~/temp/vellora unless\n"
         "              VELLORA_DRIVE_C names another drive C:)\n"
         "  --force     replace an output file that exists already\n"
         "  --play      hand each copy to the desktop's player (xdg-open)\n"
         "  --info      print each FILE's header and convert nothing; takes no other option\n"
         "  --help      print this text\n"
         "  --version   print the version\n"
         "\n"
         "The copy's name is FILE's name with every \".wav\" replaced by \"-PERCENT.wav\";\n"
         "a name without \".wav\" gets \"-PERCENT\" before its last extension (TALK.WAV\n"
         "gives TALK-90.WAV) or at its end (take gives take-90).\n"
         "\n"
         "Each converted file prints one line on standard output:\n"
         "  OUTPUT: OLD Hz -> NEW Hz, BITS-bit\n"
         "--info prints six lines for each FILE: its RIFF size and name, then\n"
         "bytespersa, bitspersec, bitspersam, nchannels and samplerate.\n"
         "Errors go to standard error, one line naming the file.\n"
         "\n"
         "Exit status: 0 when every FILE was done, 1 when any failed, 2 for a usage error.\n";
}

std::string versionText() { return std::string("vellora-cli ") + VELLORA_VERSION + "\n"; }

}  // namespace vellora::cli
