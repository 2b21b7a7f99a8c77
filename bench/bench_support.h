#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vellora::bench {

// A scratch directory as drive C:, removed at exit.
class ScratchDrive {
 public:
  ScratchDrive();
  ~ScratchDrive();
  const std::string& root() const { return root_; }
  std::string host(const std::string& relative) const { return root_ + "/" + relative; }

 private:
  std::string root_;
};

// `header`, then audio bytes up to `total`: written out, or left a hole.
void writeFile(const std::string& hostPath, const std::string& header, std::uint64_t total, bool sparse = false);

// A canonical 16-bit stereo WAV of `bytes` bytes in all.
void writeWav(const std::string& hostPath, std::uint64_t bytes);

// Runs a program to its end; returns its exit status.
enum class Output { Shown, Discarded };
int runProgram(const std::vector<std::string>& argv, Output output = Output::Shown);

// Times one run of a program per iteration, its output discarded. After each
// run, outside the timing, `made` is removed and the writeback waited for, so
// that every run starts alike.
void timeProgram(benchmark::State& state, const std::vector<std::string>& argv,
                 const std::string& made);

// Reports as counter "peak_KiB" the peak resident memory of a child process
// that runs `work` and ends; the run fails when `work` returns false or throws.
void measurePeakMemory(benchmark::State& state, const std::function<bool()>& work);
// The same for a shell command, which the child runs in its place.
void measureCommandPeakMemory(benchmark::State& state, const std::string& command);

// Prints the benchmarks as usual, then the ratio of each pair named with
// addRatio, of the median runs and of the fastest runs. This machine's timings
// scatter widely, so both come from many alternating repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter();
  void addRatio(std::string numerator, std::string denominator) {
    pairs_.emplace_back(std::move(numerator), std::move(denominator));
  }
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  std::map<std::string, std::vector<double>> seconds_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// Runs the registered benchmarks with repetitions interleaved, so that all
// see the same machine, then prints the ratio of each (numerator, denominator).
int runBenchmarks(int argc, char** argv,
                  const std::vector<std::pair<std::string, std::string>>& ratios);

}  // namespace vellora::bench
