// The speed change, by the window's job and by vellora-cli, against a plain
// copy of the same 1 GiB file and against sox and ffmpeg doing it; vellora-cli
// on 1,000 files of 100 KiB against a shell loop of sox over them; and the
// conversion's peak memory for a small and a large input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "bench_support.h"
#include "platform/linux/host_file_system.h"
#include "speed/speed_job.h"

namespace vellora::bench {
namespace {

constexpr std::int64_t kMiB = std::int64_t{1} << 20;
constexpr int kBatchFiles = 1000;
const std::string kNewRate = "39690";  // 44100 Hz at 90%
ScratchDrive* scratch = nullptr;
std::vector<std::string> batch;

struct Quiet : Module1, JobWindow, Dialogs {
  std::intptr_t ShellExecuteA(std::uint32_t, const std::string&, const std::string&,
                              const std::string&, const std::string&, std::int32_t) override {
    return 42;
  }
  std::int32_t mciExecute(const std::string&) override { return 0; }
  std::int32_t mciSendStringA(const std::string&, char*, std::int32_t, std::uint32_t) override {
    return 0;
  }
  std::string percentText() override { return "90%"; }
  void setCaption(const std::string&) override {}
  void setInfo(const std::string&) override {}
  void message(const std::string& text) override { failure = text; }
  std::string prompt(const std::string&, const std::string&) override { return {}; }
  std::string failure;
};

void convertOnce(const std::string& name) {
  HostFileSystem files{DriveMap::fromEnvironment()};
  Quiet quiet;
  ShellOpener shell(quiet, "C:\\");
  SpeedJob job(files, shell, quiet, quiet);
  job.checkfile("C:\\" + name + ".wav", "C:\\out\\");
  if (!quiet.failure.empty()) throw std::runtime_error(quiet.failure);
}

// Each run starts with no writeback of an earlier run still going.
void settle() { ::sync(); }

void BM_Checkfile1GiB(benchmark::State& state) {
  for (auto _ : state) {
    convertOnce("big");
    state.PauseTiming();
    ::unlink(scratch->host("out/big-90.wav").c_str());
    settle();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * 1024 * kMiB);
}
BENCHMARK(BM_Checkfile1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15);

void BM_VelloraCli1GiB(benchmark::State& state) {
  // A directory of its own: the window's job leaves its output in out/.
  timeProgram(state, {VELLORA_CLI, "-o", scratch->host("out/cli"), scratch->host("big.wav")},
              scratch->host("out/cli/big-90.wav"));
  state.SetBytesProcessed(state.iterations() * 1024 * kMiB);
}
BENCHMARK(BM_VelloraCli1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15);

void BM_Cp1GiB(benchmark::State& state) {
  const std::string target = scratch->host("out/copy.wav");
  timeProgram(state, {"cp", scratch->host("big.wav"), target}, target);
  state.SetBytesProcessed(state.iterations() * 1024 * kMiB);
}
BENCHMARK(BM_Cp1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15);

// sox and ffmpeg pass every sample through their own memory, ffmpeg even
// re-encodes; three runs each keep `make bench` within minutes.
void BM_Sox1GiB(benchmark::State& state) {
  const std::string target = scratch->host("out/sox.wav");
  timeProgram(state, {"sox", "-r", kNewRate, scratch->host("big.wav"), target}, target);
  state.SetBytesProcessed(state.iterations() * 1024 * kMiB);
}
BENCHMARK(BM_Sox1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void BM_Ffmpeg1GiB(benchmark::State& state) {
  const std::string target = scratch->host("out/ffmpeg.wav");
  timeProgram(state,
              {"ffmpeg", "-y", "-loglevel", "error", "-nostdin", "-i", scratch->host("big.wav"),
               "-af", "asetrate=" + kNewRate, target},
              target);
  state.SetBytesProcessed(state.iterations() * 1024 * kMiB);
}
BENCHMARK(BM_Ffmpeg1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void BM_VelloraCliBatch(benchmark::State& state) {
  std::vector<std::string> argv = {VELLORA_CLI, "-o", scratch->host("batch-out")};
  argv.insert(argv.end(), batch.begin(), batch.end());
  timeProgram(state, argv, scratch->host("batch-out"));
}
BENCHMARK(BM_VelloraCliBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

void BM_SoxLoopBatch(benchmark::State& state) {
  const std::string out = scratch->host("batch-out");
  const std::string loop = "mkdir -p " + out + " && for f in " + scratch->host("batch") +
                           "/*.wav; do n=${f##*/}; sox -r " + kNewRate + " \"$f\" " + out +
                           "/\"${n%.wav}-90.wav\" || exit 1; done";
  timeProgram(state, {"sh", "-c", loop}, out);
}
BENCHMARK(BM_SoxLoopBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// Peak resident memory of a process that converts one file; the child starts
// from the same small image whatever the input's size.
void BM_PeakMemory(benchmark::State& state) {
  const std::string name = state.range(0) == 10 ? "small" : "big";
  measurePeakMemory(state, [&name] {
    convertOnce(name);
    return true;
  });
}
BENCHMARK(BM_PeakMemory)->Arg(10)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  using namespace vellora::bench;
  ScratchDrive drive;
  scratch = &drive;
  ::mkdir(drive.host("out").c_str(), 0755);
  ::mkdir(drive.host("out/cli").c_str(), 0755);
  writeWav(drive.host("big.wav"), 1024 * std::uint64_t{1} << 20);
  writeWav(drive.host("small.wav"), 10 * std::uint64_t{1} << 20);
  ::mkdir(drive.host("batch").c_str(), 0755);
  char name[32];
  for (int i = 0; i < kBatchFiles; ++i) {
    std::snprintf(name, sizeof name, "batch/take-%04d.wav", i);
    batch.push_back(drive.host(name));
    writeWav(batch.back(), 100 * 1024);
  }

  return runBenchmarks(argc, argv,
                       {{"BM_Checkfile1GiB", "BM_Cp1GiB"},
                        {"BM_VelloraCli1GiB", "BM_Cp1GiB"},
                        {"BM_Sox1GiB", "BM_Cp1GiB"},
                        {"BM_Ffmpeg1GiB", "BM_Cp1GiB"},
                        {"BM_VelloraCliBatch", "BM_SoxLoopBatch"}});
}
