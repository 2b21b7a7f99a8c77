#include "cli/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "speed/format_table.h"
#include "speed/speed_job.h"

namespace vellora::cli {
namespace {

constexpr const char* kSynopsis =
    "Usage: vellora-cli [-fnqv] [-p PERCENT | -r HZ] [-o DIR] [--play] [--sync] FILE...\n"
    "       vellora-cli --in-place [-nqv] [-p PERCENT | -r HZ] [--play] [--sync] FILE...\n"
    "       vellora-cli -c [-nqv] [-p PERCENT | -r HZ] FILE|- > OUTPUT\n"
    "       vellora-cli -i FILE...\n"
    "       vellora-cli -h | -V\n";

// Long options without a short form get values past the last character.
enum : int { kPlay = 256, kSync, kInPlace };

constexpr const char* kShortOptions = ":p:r:o:fihVqvnc";
const option kLongOptions[] = {
    {"percent", required_argument, nullptr, 'p'},
    {"rate", required_argument, nullptr, 'r'},
    {"output-dir", required_argument, nullptr, 'o'},
    {"force", no_argument, nullptr, 'f'},
    {"info", no_argument, nullptr, 'i'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"dry-run", no_argument, nullptr, 'n'},
    {"stdout", no_argument, nullptr, 'c'},
    {"play", no_argument, nullptr, kPlay},
    {"sync", no_argument, nullptr, kSync},
    {"in-place", no_argument, nullptr, kInPlace},
    {nullptr, 0, nullptr, 0},
};

// An option as the user wrote it, for messages: "-p" or "--percent".
std::string spelled(int longIndex, int shortOption) {
  if (longIndex >= 0) return std::string("--") + kLongOptions[static_cast<std::size_t>(longIndex)].name;
  return std::string("-") + static_cast<char>(shortOption);
}

}  // namespace

std::optional<std::uint32_t> readRateText(const std::string& text) {
  std::string_view number = text;
  if (number.ends_with("Hz")) number.remove_suffix(2);
  std::uint32_t value = 0;
  const char* end = number.data() + number.size();
  auto [stop, ec] = std::from_chars(number.data(), end, value);
  if (number.empty() || ec != std::errc{} || stop != end || value == 0) return std::nullopt;
  return value;
}

ReadArguments readArguments(std::span<const std::string> arguments) {
  ReadArguments read;
  Options& options = read.options;
  auto refuse = [&read](std::string why) {
    read.error = std::move(why);
    return read;
  };

  // getopt_long permutes its argv, so it works on pointers of its own.
  std::vector<std::string> words{"vellora-cli"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  optind = 0;  // a full restart, so that the parser can be used again
  opterr = 0;  // the messages below name the text themselves

  for (;;) {
    int longIndex = -1;
    const int option = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &longIndex);
    if (option == -1) break;
    // Unknown long options, and options missing their value (only ever the
    // last word), are the word just passed.
    const std::string passed = argv[static_cast<std::size_t>(optind - 1)];
    if (option == ':' || (option == '?' && optopt == 0))
      longIndex = passed.rfind("--", 0) == 0 ? -2 : -1;
    switch (option) {
      case 'h': options.mode = Mode::Help; return read;
      case 'V': options.mode = Mode::Version; return read;
      case 'i': read.info = true; break;
      case 'f': options.force = read.fileModeOption = true; break;
      case kPlay: options.play = read.fileModeOption = true; break;
      case kSync: options.sync = read.fileModeOption = true; break;
      case kInPlace: options.inPlace = read.fileModeOption = true; break;
      case 'q': options.verbosity = Verbosity::Quiet; break;
      case 'v': options.verbosity = Verbosity::Verbose; break;
      case 'n': options.dryRun = true; break;
      case 'c': options.toStdout = true; break;
      case 'p': {
        const std::optional<double> percent = readPercent(optarg, true);
        if (!percent)
          return refuse(spelled(longIndex, 'p') + " takes a percentage greater than 0, not '" +
                        optarg + "'");
        if (!roundToInt32(*percent))
          return refuse(spelled(longIndex, 'p') + " " + optarg + " is too large a percentage");
        options.percent = *percent;
        read.fileModeOption = read.percentGiven = true;
        break;
      }
      case 'r': {
        const std::optional<std::uint32_t> rate = readRateText(optarg);
        if (!rate)
          return refuse(spelled(longIndex, 'r') + " takes a rate in Hz, a whole number from 1 to 4294967295, not '" +
                        optarg + "'");
        options.rate = rate;
        read.fileModeOption = true;
        break;
      }
      case 'o':
        if (*optarg == '\0') return refuse(spelled(longIndex, 'o') + " needs a directory");
        options.outputDirectory = optarg;
        read.fileModeOption = true;
        break;
      case ':':
        return refuse((longIndex == -2 ? passed : spelled(-1, optopt)) + " needs a value");
      default:
        if (longIndex == -2) return refuse("unknown option '" + passed.substr(0, passed.find('=')) + "'");
        return refuse("unknown option '" + spelled(-1, optopt) + "'");
    }
  }
  for (int i = optind; i < argc; ++i) options.files.emplace_back(argv[static_cast<std::size_t>(i)]);
  return read;
}

ParsedArguments checkArguments(ReadArguments read) {
  ParsedArguments checked{std::move(read.options), std::move(read.error)};
  Options& options = checked.options;
  auto refuse = [&checked](std::string why) {
    checked.usageError = std::move(why);
    return checked;
  };
  if (!checked.usageError.empty() || options.mode == Mode::Help || options.mode == Mode::Version)
    return checked;

  if (read.info && (read.fileModeOption || options.toStdout || options.dryRun))
    return refuse("--info takes no other option but -q and -v");
  if (options.files.empty()) return refuse("no FILE given");
  if (read.percentGiven && options.rate) return refuse("-p and -r both name the new speed; give one of them");
  if (options.inPlace && (options.toStdout || options.outputDirectory || options.force))
    return refuse("--in-place changes FILE itself and takes no -c, -o or -f");
  if (options.toStdout) {
    if (options.files.size() > 1) return refuse("-c writes one file to standard output, not " +
                                                std::to_string(options.files.size()));
    if (options.outputDirectory || options.play || options.sync || options.force)
      return refuse("-c takes no -o, -f, --play or --sync");
  } else {
    for (const std::string& file : options.files)
      if (file == "-")
        return refuse(read.info ? "--info reads files, not standard input (-)"
                                : "standard input (-) can only be converted with -c");
  }
  options.mode = read.info ? Mode::Info : Mode::Convert;
  return checked;
}

ParsedArguments parseArguments(std::span<const std::string> arguments) {
  return checkArguments(readArguments(arguments));
}

std::string synopsisText() { return kSynopsis; }

namespace {

// `text` wrapped at word breaks to fit 79 columns, its lines after the first
// indented to `column`, the first starting where `lines` ends.
std::string wrapped(std::string lines, std::string_view text, std::size_t column) {
  constexpr std::size_t kWidth = 79;
  std::size_t lineStart = lines.rfind('\n') == std::string::npos ? 0 : lines.rfind('\n') + 1;
  bool first = true;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (!first && lines.size() - lineStart + 1 + word.size() > kWidth) {
      lines += '\n';
      lineStart = lines.size();
      lines.append(column, ' ');
    } else if (!first) {
      lines += ' ';
    }
    lines += word;
    first = false;
    at = end + 1;
  }
  return lines + '\n';
}

// Lays out one option of the help: its forms, then its text from column 26 on.
std::string optionHelp(std::string_view forms, std::string_view text) {
  constexpr std::size_t kColumn = 25;
  std::string lines = "  " + std::string(forms);
  if (lines.size() + 2 > kColumn) lines += '\n';
  const std::size_t lineStart = lines.back() == '\n' ? lines.size() : 0;
  lines.resize(std::max(lines.size(), lineStart + kColumn), ' ');
  return wrapped(std::move(lines), text, kColumn);
}

}  // namespace

std::string usageText(const HostWords& host) {
  std::string text = synopsisText() +
         "\n"
         "Copies each FILE under a name that carries the speed (talk.wav at 90%\n"
         "becomes talk-90.wav) and rewrites only the copy's sample rate and the fields\n"
         "that follow it, so that it plays at PERCENT of its speed. FILE itself is\n"
         "only read, unless --in-place asks to change it.\n"
         "\n";
  text += wrapped({}, "Formats, recognised by their content: " + convertibleFormatList() +
                          ". Refused, as their rate cannot change without re-encoding: " + refusedFormatList() +
                          ".", 0) + "\n";
  text += optionHelp("-p, --percent=PERCENT",
                     "the speed in percent, greater than 0, such as 80 or 87.5% (default 90); the "
                     "name carries it rounded, the rates are scaled by the exact value");
  text += optionHelp("-r, --rate=HZ",
                     "the new sample rate itself instead, such as 48000 for a recording whose header "
                     "says 48002; the name carries it (talk-48000Hz.wav)");
  text += optionHelp("-o, --output-dir=DIR", "the output directory, created when missing (default " +
                                                 host.defaultOutputDirectory + ")");
  text += optionHelp("-f, --force", "replace an output file that exists already");
  text += optionHelp("    --in-place",
                     "change each FILE itself, without a copy, where the change is one write within "
                     "4 KiB: every format but FLAC and WavPack, and Ogg files of one stream");
  text += optionHelp("-c, --stdout",
                     "write the one converted FILE to standard output; FILE may be - for standard "
                     "input; not FLAC or WavPack");
  text += optionHelp("-n, --dry-run", "read each header, say what would be written and where, write nothing");
  text += optionHelp("-q, --quiet", "print nothing but errors");
  text += optionHelp("-v, --verbose",
                     "also name the format, what was patched and where, and how the copy was made");
  text += optionHelp("    --play", "hand each copy to " + host.player);
  text += optionHelp("    --sync", "flush each copy to disk before it takes its name");
  text += optionHelp("-i, --info", "print each FILE's header and convert nothing");
  text += optionHelp("-h, --help", "print this text");
  text += optionHelp("-V, --version", "print the version");
  text +=
      "\n"
      "The copy's name is FILE's name with every \".wav\" replaced by \"-PERCENT.wav\";\n"
      "a name without \".wav\" gets \"-PERCENT\" before its last extension (TALK.WAV\n"
      "gives TALK-90.WAV, take.aiff take-90.aiff) or at its end (take gives\n"
      "take-90). With -r, \"-HZHz\" takes the place of \"-PERCENT\".\n"
      "\n"
      "Each converted file prints one line on standard output (standard error\n"
      "with -c):\n"
      "  OUTPUT: OLD Hz -> NEW Hz, BITS-bit\n"
      "--info prints seven lines for each FILE: its container's size and name,\n"
      "then bytespersa, bitspersec, bitspersam, nchannels, samplerate and format.\n"
      "Errors go to standard error, one line naming the file.\n"
      "\n"
      "Exit status: 0 when every FILE was done, 1 when any failed, 2 for a usage\n"
      "error.\n";
  if (!host.moreHelp.empty()) text += host.moreHelp + '\n';
  return text;
}

std::string versionText() { return std::string("vellora-cli ") + VELLORA_VERSION + "\n"; }

}  // namespace vellora::cli
