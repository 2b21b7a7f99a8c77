#include "cli/run.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "cli/command_line.h"
#include "cli/console_text.h"
#include "cli/progress_line.h"
#include "cli/stream.h"
#include "speed/audio_format.h"
#include "speed/conversion.h"
#include "speed/speed_job.h"
#include "speed/stream_change.h"

namespace vellora::cli {
namespace {

namespace fs = std::filesystem;

// The host's own separator; Windows also takes "/".
constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);
constexpr const char* kSeparators = kSeparator == '/' ? "/" : "\\/";

// Paths from and to the file system library in UTF-8, which is not its
// narrow encoding everywhere (on Windows that is the 8-bit code page).
fs::path pathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string textOf(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

constexpr std::string_view kProgram = "vellora-cli: ";

// A host path in the user's form, the same path made absolute, and where it
// lies on the drive map; `system` is empty, with the reason in `unmapped`,
// when the core cannot reach it.
struct Place {
  std::string shown;
  std::string host;
  std::string system;
  std::string unmapped;
};

Place placeOf(const HostPaths& paths, std::string shown) {
  Place place{.shown = std::move(shown), .host = {}, .system = {}, .unmapped = {}};
  std::error_code ec;
  place.host = textOf(fs::absolute(pathOf(place.shown), ec).lexically_normal());
  const bool driveRoot = place.host.size() == 3 && place.host[1] == ':';
  if (place.host.size() > 1 && !driveRoot && place.host.back() == kSeparator) place.host.pop_back();
  if (std::optional<std::string> system = paths.toSystem(place.host)) {
    place.system = std::move(*system);
  } else {
    place.unmapped = "its path lies on no drive";
  }
  return place;
}

std::string fileName(const std::string& hostPath) {
  return hostPath.substr(hostPath.find_last_of(kSeparators) + 1);
}

std::string joinHost(const std::string& directory, const std::string& name) {
  return directory.find_last_of(kSeparators) == directory.size() - 1 ? directory + name
                                                                      : directory + kSeparator + name;
}

class Batch {
 public:
  Batch(const Options& options, Services& services, std::ostream& out, std::ostream& err)
      : options_(options),
        services_(services),
        console_(services.console),
        out_(out),
        err_(err),
        change_{.factor = options.percent / 100, .exactRate = options.rate},
        tag_(options.rate ? rateTag(*options.rate) : speedTag(options.percent, kDefaultPercent)) {}

  int convertAll() {
    if (options_.toStdout) return streamOne(options_.files.front());
    bool allDone = true;
    if (options_.inPlace) {
      for (const std::string& file : options_.files) allDone = changeOne(file) && allDone;
      return allDone ? kAllDone : kSomeFailed;
    }
    if (!prepareOutputDirectory()) return kSomeFailed;
    for (const std::string& file : options_.files) allDone = convertOne(file) && allDone;
    return allDone ? kAllDone : kSomeFailed;
  }

  int showHeaders() {
    bool allDone = true;
    for (const std::string& file : options_.files) allDone = showHeader(file) && allDone;
    return allDone ? kAllDone : kSomeFailed;
  }

 private:
  bool prepareOutputDirectory() {
    std::string shown;
    if (options_.outputDirectory) {
      shown = *options_.outputDirectory;
    } else {
      std::string why;
      std::optional<std::string> host = services_.paths.toHost(kDefaultOutputDirectory, &why);
      if (!host) {
        err_ << kProgram << "there is no default output directory (" << why
                      << "); name one with -o DIR\n";
        return false;
      }
      shown = std::move(*host);
    }
    outputDirectory_ = placeOf(services_.paths, shown);
    if (options_.dryRun) return true;  // a dry run creates nothing
    const IoStatus made = outputDirectory_.system.empty()
                              ? IoStatus::failure(outputDirectory_.unmapped)
                              : services_.files.makeDirectory(outputDirectory_.system);
    if (!made) {
      err_ << kProgram << "Could not create the output directory " << shown << ": " << made.reason() << '\n';
      return false;
    }
    return true;
  }

  bool convertOne(const std::string& file) {
    const Place input = placeOf(services_.paths, file);
    const Place output =
        placeOf(services_.paths,
                joinHost(outputDirectory_.shown, speedFileName(fileName(input.host), tag_)));
    JobError unmapped;
    if (!input.unmapped.empty())
      unmapped.record(JobFailure::InputUnreadable, input.shown, input.unmapped);
    else if (!output.unmapped.empty())
      unmapped.record(JobFailure::OutputUnwritable, output.shown, output.unmapped);
    if (unmapped) return report(unmapped, input, output);

    if (!options_.force && services_.files.exists(output.system)) {
      err_ << kProgram << output.shown << " exists; use --force to replace it\n";
      return false;
    }

    if (options_.dryRun) return planOne(input, output);

    ProgressLine progress(err_, input.shown, console_.error().isTerminal() && !quiet());
    const Conversion done = convert(
        services_.files, {.input = input.system,
                          .output = output.system,
                          .factor = change_.factor,
                          .existing = options_.force ? ReplacementFile::Existing::Replace
                                                     : ReplacementFile::Existing::Keep,
                          .progress = [&progress](std::uint64_t copied, std::uint64_t total) {
                            progress.show(copied, total);
                            return true;  // Ctrl+C stops the program, not just the copy
                          },
                          .durable = options_.sync,
                          .exactRate = change_.exactRate});
    progress.finish();
    if (!done.ok()) return report(done.error, input, output);

    tell(out_, "", output.shown, done.plan);
    explain(out_, input.shown, done.plan, done.copyMethod);
    if (options_.play) return play(output);
    return true;
  }

  // --in-place: the rates changed in FILE itself.
  bool changeOne(const std::string& file) {
    const Place input = placeOf(services_.paths, file);
    if (!input.unmapped.empty()) {
      JobError unmapped;
      unmapped.record(JobFailure::InputUnreadable, input.shown, input.unmapped);
      return report(unmapped, input, input);
    }
    const Conversion done = changeInPlace(
        services_.files,
        {.path = input.system, .change = change_, .durable = options_.sync, .write = !options_.dryRun});
    if (!done.ok()) return report(done.error, input, input);
    tell(out_, options_.dryRun ? "would change " : "", input.shown, done.plan);
    explain(out_, input.shown, done.plan, {});
    if (options_.play && !options_.dryRun) return play(input);
    return true;
  }

  bool quiet() const { return options_.verbosity == Verbosity::Quiet; }

  // The one line of a conversion done, or to be done.
  void tell(std::ostream& to, std::string_view prefix, const std::string& output,
            const RatePlan& plan) const {
    if (quiet()) return;
    to << prefix << output << ": " << formatNumber(plan.before.sampleRate) << " Hz -> "
       << formatNumber(plan.after.sampleRate) << " Hz, " << plan.before.bitsPerSample << "-bit\n";
  }

  // With -v: the format, what the scan found and patched, and how the copy was made.
  void explain(std::ostream& to, const std::string& input, const RatePlan& plan,
               const std::string& copyMethod) const {
    if (options_.verbosity != Verbosity::Verbose) return;
    to << input << ": " << formatName(plan.format);
    for (const std::string& note : plan.notes) to << "; " << note;
    std::uint64_t bytes = plan.handedOver.bytes;
    for (const Patch& patch : plan.patches) bytes += patch.size;
    const std::uint64_t places = plan.patches.size() + plan.handedOver.places;
    to << "; " << bytes << (bytes == 1 ? " byte" : " bytes") << " patched in " << places
       << (places == 1 ? " place" : " places");
    if (!copyMethod.empty()) to << "; copied by " << copyMethod;
    to << '\n';
  }

  bool play(const Place& output) {
    std::string played = output.system;
    if (services_.shell.openAudio(played)) return true;
    err_ << kProgram << "could not start a player for " << output.shown << " ("
         << console_.words().noPlayerHint << ")\n";
    return false;
  }

  // A dry run: the header read and the outcome said, nothing written.
  bool planOne(const Place& input, const Place& output) {
    if (services_.files.sameFile(input.system, output.system)) {
      JobError same;
      same.record(JobFailure::SameFile, output.system, {});
      return report(same, input, output);
    }
    const Conversion plan = planFile(services_.files, input.system, change_);
    if (!plan.ok()) return report(plan.error, input, output);
    tell(out_, "would write ", output.shown, plan.plan);
    explain(out_, input.shown, plan.plan, {});
    return true;
  }

  // -c: FILE or standard input to standard output, only the header's scan held.
  int streamOne(const std::string& file) {
    StreamEnd& out = console_.output();
    if (!options_.dryRun && out.wasClosed()) {
      err_ << kProgram << "standard output is closed; redirect it to a file or a pipe\n";
      return kUsageError;
    }
    if (!options_.dryRun && out.isTerminal()) {
      err_ << kProgram << "will not write audio data to a terminal; redirect standard output or use a pipe\n";
      return kUsageError;
    }
    const bool fromStdin = file == "-";
    if (fromStdin && console_.input().isTerminal()) {
      // Otherwise it would wait, silently, for a recording to be typed.
      err_ << kProgram << "will not read audio data from a terminal; redirect standard input or use a pipe\n";
      return kUsageError;
    }
    // Whatever stops the stream leaves the output as the shell gave it.
    const auto failed = [&out] {
      out.undoWrites();
      return kSomeFailed;
    };
    Place input{.shown = fromStdin ? "standard input" : file, .host = file, .system = {}, .unmapped = {}};
    const std::string shownOutput = "standard output";
    Opened<StreamEnd> opened;
    StreamEnd* in = &console_.input();
    if (!fromStdin) {
      opened = console_.openForReading(file);
      if (!opened.file) {
        err_ << kProgram << "Could not read " << file << ": " << opened.status.reason() << '\n';
        return failed();
      }
      in = opened.file.get();
    }
    if (in->sameFileAs(out)) {
      // Appending a file to itself would never reach its end.
      err_ << kProgram << "Could not write standard output: it is " << input.shown << " itself\n";
      return kSomeFailed;
    }
    out_.flush();
    StreamEndReader reader(*in, in->regularFileRest());
    StreamEndWriter writer(out);
    DiscardingSink nowhere;
    const StreamChange front = changeStream(reader, options_.dryRun ? static_cast<ByteSink&>(nowhere) : writer,
                                            change_, input.shown, shownOutput);
    if (!front.ok()) {
      // An output file cut back holds nothing of what the stream wrote.
      JobError error = front.error;
      if (out.undoWrites()) error.written = 0;
      err_ << kProgram << message(error) << '\n';
      return kSomeFailed;
    }
    if (options_.dryRun) {
      tell(err_, "would write ", shownOutput, front.plan);
      explain(err_, input.shown, front.plan, {});
      return kAllDone;
    }
    const StreamMove copied = writeRest(*in, reader.left(), out, console_);
    if (!copied.status) {
      err_ << kProgram << "Could not " << (copied.inputFailed ? "read " : "write ")
           << (copied.inputFailed ? input.shown : shownOutput) << ": " << copied.status.reason() << '\n';
      return failed();
    }
    tell(err_, "", shownOutput, front.plan);
    explain(err_, input.shown, front.plan, copied.method);
    return kAllDone;
  }

  bool showHeader(const std::string& file) {
    const Place input = placeOf(services_.paths, file);
    Conversion reading;
    if (input.unmapped.empty())
      reading = planFile(services_.files, input.system, {});
    else
      reading.error.record(JobFailure::InputUnreadable, input.shown, input.unmapped);
    // The header is shown even when its rate could not change.
    if (reading.error.failure == JobFailure::RateOutOfRange) reading.error.clear();
    if (!reading.ok()) return report(reading.error, input, input);
    if (quiet()) return true;
    out_ << headerLines(reading.plan.before, input.shown, "\n") << "format     " << formatName(reading.plan.format)
         << '\n';
    return true;
  }

  // Names the file in the user's form rather than the drive map's.
  bool report(JobError error, const Place& input, const Place& output) {
    if (error.path == input.system)
      error.path = input.shown;
    else if (error.path == output.system)
      error.path = output.shown;
    err_ << kProgram << message(error) << '\n';
    return false;
  }

  const Options& options_;
  Services& services_;
  Console& console_;
  std::ostream& out_;
  std::ostream& err_;
  const RateChange change_;
  const std::string tag_;  // what the output names carry: "90" or "48000Hz"
  Place outputDirectory_;
};

int run(std::span<const std::string> arguments, Services& services, std::ostream& out,
        std::ostream& err) {
  const ParsedArguments parsed = parseArguments(arguments);
  if (!parsed.usageError.empty()) {
    err << kProgram << parsed.usageError << '\n'
        << synopsisText() << "Try 'vellora-cli --help' for more.\n";
    return kUsageError;
  }
  Batch batch(parsed.options, services, out, err);
  switch (parsed.options.mode) {
    case Mode::Help:
      out << usageText(services.console.words());
      return kAllDone;
    case Mode::Version:
      out << versionText();
      return kAllDone;
    case Mode::Info:
      return batch.showHeaders();
    case Mode::Convert:
      return batch.convertAll();
  }
  return kUsageError;
}

}  // namespace

int runCommandLine(std::span<const std::string> arguments, Services& services) {
  // Errors go out at once, as does text for a terminal, where the two meet.
  StreamEnd& output = services.console.output();
  ConsoleText out(output, output.isTerminal()), err(services.console.error(), true);
  const int status = run(arguments, services, out, err);
  // A lost standard output is a failure too, as a full disk would be for a file.
  if (IoStatus written = out.finish(); !written) {
    err << kProgram << "Could not write standard output: " << written.reason() << '\n';
    return status == kAllDone ? kSomeFailed : status;
  }
  return status;
}

}  // namespace vellora::cli
