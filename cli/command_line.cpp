#include "cli/command_line.h"

#include <getopt.h>

#include <charconv>
#include <cmath>

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

std::optional<double> readPercentText(const std::string& text) {
  std::string_view number = text;
  if (!number.empty() && number.back() == '%') number.remove_suffix(1);
  double value = 0;
  const char* end = number.data() + number.size();
  auto [stop, ec] = std::from_chars(number.data(), end, value, std::chars_format::fixed);
  if (number.empty() || ec != std::errc{} || stop != end || !std::isfinite(value) || !(value > 0))
    return std::nullopt;
  return value;
}

std::optional<std::uint32_t> readRateText(const std::string& text) {
  std::string_view number = text;
  if (number.ends_with("Hz")) number.remove_suffix(2);
  std::uint32_t value = 0;
  const char* end = number.data() + number.size();
  auto [stop, ec] = std::from_chars(number.data(), end, value);
  if (number.empty() || ec != std::errc{} || stop != end || value == 0) return std::nullopt;
  return value;
}

ParsedArguments parseArguments(std::span<const std::string> arguments) {
  ParsedArguments parsed;
  Options& options = parsed.options;
  auto refuse = [&parsed](std::string why) {
    parsed.usageError = std::move(why);
    return parsed;
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

  bool info = false, fileOption = false, percentGiven = false;
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
      case 'h': options.mode = Mode::Help; return parsed;
      case 'V': options.mode = Mode::Version; return parsed;
      case 'i': info = true; break;
      case 'f': options.force = fileOption = true; break;
      case kPlay: options.play = fileOption = true; break;
      case kSync: options.sync = fileOption = true; break;
      case kInPlace: options.inPlace = fileOption = true; break;
      case 'q': options.verbosity = Verbosity::Quiet; break;
      case 'v': options.verbosity = Verbosity::Verbose; break;
      case 'n': options.dryRun = true; break;
      case 'c': options.toStdout = true; break;
      case 'p': {
        const std::optional<double> percent = readPercentText(optarg);
        if (!percent)
          return refuse(spelled(longIndex, 'p') + " takes a percentage greater than 0, not '" +
                        optarg + "'");
        if (!roundToInt32(*percent))
          return refuse(spelled(longIndex, 'p') + " " + optarg + " is too large a percentage");
        options.percent = *percent;
        fileOption = percentGiven = true;
        break;
      }
      case 'r': {
        const std::optional<std::uint32_t> rate = readRateText(optarg);
        if (!rate)
          return refuse(spelled(longIndex, 'r') + " takes a rate in Hz, a whole number from 1 to 4294967295, not '" +
                        optarg + "'");
        options.rate = rate;
        fileOption = true;
        break;
      }
      case 'o':
        if (*optarg == '\0') return refuse(spelled(longIndex, 'o') + " needs a directory");
        options.outputDirectory = optarg;
        fileOption = true;
        break;
      case ':':
        return refuse((longIndex == -2 ? passed : spelled(-1, optopt)) + " needs a value");
      default:
        if (longIndex == -2) return refuse("unknown option '" + passed.substr(0, passed.find('=')) + "'");
        return refuse("unknown option '" + spelled(-1, optopt) + "'");
    }
  }
  for (int i = optind; i < argc; ++i) options.files.emplace_back(argv[static_cast<std::size_t>(i)]);

  if (info && (fileOption || options.toStdout || options.dryRun))
    return refuse("--info takes no other option but -q and -v");
  if (options.files.empty()) return refuse("no FILE given");
  if (percentGiven && options.rate) return refuse("-p and -r both name the new speed; give one of them");
  if (options.inPlace && (options.toStdout || options.outputDirectory || options.force))
    return refuse("--in-place changes FILE itself and takes no -c, -o or -f");
  if (options.toStdout) {
    if (options.files.size() > 1) return refuse("-c writes one file to standard output, not " +
                                                std::to_string(options.files.size()));
    if (options.outputDirectory || options.play || options.sync || options.force)
      return refuse("-c takes no -o, -f, --play or --sync");
  } else if (!info) {
    for (const std::string& file : options.files)
      if (file == "-") return refuse("standard input (-) can only be converted with -c");
  }
  options.mode = info ? Mode::Info : Mode::Convert;
  return parsed;
}

std::string synopsisText() { return kSynopsis; }

std::string usageText() {
  return synopsisText() +
         "\n"
         "Copies each FILE under a name that carries the speed (talk.wav at 90%\n"
         "becomes talk-90.wav) and rewrites only the copy's sample rate and the fields\n"
         "that follow it, so that it plays at PERCENT of its speed. FILE itself is\n"
         "only read, unless --in-place asks to change it.\n"
         "\n"
         "Formats, recognised by their content: WAV (also RIFX, RF64 and broadcast\n"
         "wave), Wave64, AIFF and AIFF-C, CAF (linear PCM, u-law, A-law, IMA4, Apple\n"
         "Lossless), FLAC and Ogg Vorbis. MP3, AAC (also in MP4 and M4A), Opus and\n"
         "others are refused: their rate cannot change without re-encoding.\n"
         "\n"
         "  -p, --percent=PERCENT  the speed in percent, greater than 0, such as 80 or\n"
         "                         87.5% (default 90); the name carries it rounded, the\n"
         "                         rates are scaled by the exact value\n"
         "  -r, --rate=HZ          the new sample rate itself instead, such as 48000 for\n"
         "                         a recording whose header says 48002; the name\n"
         "                         carries it (talk-48000Hz.wav)\n"
         "  -o, --output-dir=DIR   the output directory, created when missing (default\n"
         "                         C:\\temp\\vellora\\ on the drive map: ~/temp/vellora\n"
         "                         unless VELLORA_DRIVE_C names another drive C:)\n"
         "  -f, --force            replace an output file that exists already\n"
         "      --in-place         change each FILE itself, without a copy, where the\n"
         "                         change is one write within 4 KiB: every format but\n"
         "                         FLAC, and Ogg files of one stream\n"
         "  -c, --stdout           write the one converted FILE to standard output;\n"
         "                         FILE may be - for standard input; not FLAC\n"
         "  -n, --dry-run          read each header, say what would be written and\n"
         "                         where, write nothing\n"
         "  -q, --quiet            print nothing but errors\n"
         "  -v, --verbose          also name the format, what was patched and where,\n"
         "                         and how the copy was made\n"
         "      --play             hand each copy to the desktop's player (never Vellora)\n"
         "      --sync             flush each copy to disk before it takes its name\n"
         "  -i, --info             print each FILE's header and convert nothing\n"
         "  -h, --help             print this text\n"
         "  -V, --version          print the version\n"
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
         "error.\n"
         "See vellora-cli(1) for more.\n";
}

std::string versionText() { return std::string("vellora-cli ") + VELLORA_VERSION + "\n"; }

}  // namespace vellora::cli
