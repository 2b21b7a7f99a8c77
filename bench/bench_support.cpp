#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "support/format_builders.h"

extern char** environ;

namespace vellora::bench {

ScratchDrive::ScratchDrive() {
  std::string path = (std::filesystem::temp_directory_path() / "vellora-bench-XXXXXX").string();
  if (!mkdtemp(path.data())) throw std::runtime_error("mkdtemp failed");
  root_ = path;
  ::setenv("VELLORA_DRIVE_C", root_.c_str(), 1);
}

ScratchDrive::~ScratchDrive() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void writeFile(const std::string& hostPath, const std::string& header, std::uint64_t total, bool sparse) {
  std::FILE* f = std::fopen(hostPath.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + hostPath);
  std::fwrite(header.data(), 1, header.size(), f);
  if (sparse) {
    std::fflush(f);
    if (::ftruncate(::fileno(f), static_cast<off_t>(total)) != 0) throw std::runtime_error("cannot size " + hostPath);
  } else {
    const std::string block = test::pattern(std::size_t{1} << 20);
    for (std::uint64_t left = total - header.size(); left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      std::fwrite(block.data(), 1, n, f);
      left -= n;
    }
  }
  std::fclose(f);
}

void writeWav(const std::string& hostPath, std::uint64_t bytes) {
  const std::string header = test::WavBuilder()
                                 .riffSize(static_cast<std::uint32_t>(bytes - 8))
                                 .fmt(test::Format::pcm(44100, 2, 16))
                                 .chunkWithSize("data", static_cast<std::uint32_t>(bytes - 44), "")
                                 .bytes();
  writeFile(hostPath, header, bytes);
}

int runProgram(const std::vector<std::string>& argv, Output output) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output == Output::Discarded) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  pid_t pid;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void timeProgram(benchmark::State& state, const std::vector<std::string>& argv,
                 const std::string& made) {
  for (auto _ : state) {
    if (runProgram(argv, Output::Discarded) != 0) {
      state.SkipWithError((argv[0] + " failed").c_str());
      break;
    }
    state.PauseTiming();
    std::error_code ec;
    std::filesystem::remove_all(made, ec);
    ::sync();
    state.ResumeTiming();
  }
}

namespace {

long childPeakKiB(const std::function<bool()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    bool done = false;
    try {
      done = work();
    } catch (...) {
    }
    ::_exit(done ? 0 : 1);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

}  // namespace

void measurePeakMemory(benchmark::State& state, const std::function<bool()>& work) {
  long peakKiB = 0;
  for (auto _ : state) {
    peakKiB = childPeakKiB(work);
    if (peakKiB < 0) state.SkipWithError("the measured child failed");
  }
  state.counters["peak_KiB"] = static_cast<double>(peakKiB);
}

void measureCommandPeakMemory(benchmark::State& state, const std::string& command) {
  measurePeakMemory(state, [&command] {
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    return false;
  });
}

RatioReporter::RatioReporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs)
    if (run.run_type == Run::RT_Iteration)
      seconds_[run.run_name.function_name].push_back(
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit));
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  for (const auto& [numerator, denominator] : pairs_) {
    if (!seconds_.count(numerator) || !seconds_.count(denominator)) continue;
    const std::vector<double>& n = seconds_[numerator];
    const std::vector<double>& d = seconds_[denominator];
    std::printf("%s / %s: median %.3f s / %.3f s = %.3f, fastest %.3f s / %.3f s = %.3f\n",
                numerator.c_str(), denominator.c_str(), median(n), median(d), median(n) / median(d),
                best(n), best(d), best(n) / best(d));
  }
  std::fflush(stdout);
}

int runBenchmarks(int argc, char** argv,
                  const std::vector<std::pair<std::string, std::string>>& ratios) {
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.push_back(interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  for (const auto& [numerator, denominator] : ratios) reporter.addRatio(numerator, denominator);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace vellora::bench
