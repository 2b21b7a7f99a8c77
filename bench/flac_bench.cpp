// A FLAC speed change on 1 GiB of FLAC (two hours of pink noise, 16-bit
// stereo at 44100 Hz, as flac -0 writes it, 280,000 frames): the plan's scan
// alone, the scan with the kernel copy, and with the patches written one by
// one, against cp of the same file and against ffmpeg decoding, relabelling
// and re-encoding it; vellora-cli too where it converts FLAC; and the scan's
// peak memory.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "bench_support.h"
#include "platform/linux/host_file_system.h"
#include "speed/flac.h"

namespace vellora::bench {
namespace {

const std::string kNewRate = "39690";  // 44100 Hz at 90%
const RateChange kChange{0.9, std::nullopt};
ScratchDrive* scratch = nullptr;
std::int64_t flacBytes = 0;

void countBytes(benchmark::State& state) { state.SetBytesProcessed(state.iterations() * flacBytes); }

HostFileSystem files() { return HostFileSystem{DriveMap::fromEnvironment()}; }

RatePlan scan(FileSystem& fs, std::unique_ptr<InputFile>& input) {
  Opened<InputFile> opened = fs.openInput("C:\\big.flac");
  if (!opened.file) throw std::runtime_error(opened.status.reason());
  input = std::move(opened.file);
  ScanInput scanned(*input, [](std::uint64_t, std::uint64_t) { return true; });
  RatePlan plan = planFlac(scanned, 0, kChange);
  if (!plan.ok()) throw std::runtime_error(plan.reason);
  return plan;
}

void BM_FlacScan1GiB(benchmark::State& state) {
  HostFileSystem fs = files();
  std::size_t patches = 0;
  for (auto _ : state) {
    std::unique_ptr<InputFile> input;
    patches = scan(fs, input).patches.size();
  }
  countBytes(state);
  state.counters["patches"] = static_cast<double>(patches);
  state.counters["plan_KiB"] = static_cast<double>(patches * sizeof(Patch)) / 1024;
}
BENCHMARK(BM_FlacScan1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

// The scan, then the kernel's copy, then, with `patched`, the plan's patches
// written one by one into the copy, two for every frame.
void scanAndCopy(benchmark::State& state, bool patched) {
  HostFileSystem fs = files();
  for (auto _ : state) {
    std::unique_ptr<InputFile> input;
    const RatePlan plan = scan(fs, input);
    Opened<ReplacementFile> out = fs.createReplacement("C:\\out\\big-90.flac");
    IoStatus status = out.status;
    if (status) status = out.file->copyFrom(*input, {});
    for (std::size_t i = 0; patched && status && i < plan.patches.size(); ++i)
      status = out.file->writeAt(plan.patches[i].offset, plan.patches[i].view());
    if (status) status = out.file->commit();
    if (!status) {
      state.SkipWithError(status.reason().c_str());
      break;
    }
    state.PauseTiming();
    ::unlink(scratch->host("out/big-90.flac").c_str());
    ::sync();
    state.ResumeTiming();
  }
  countBytes(state);
}

void BM_FlacScanAndCopy1GiB(benchmark::State& state) { scanAndCopy(state, false); }
BENCHMARK(BM_FlacScanAndCopy1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

void BM_FlacScanCopyAndPatches1GiB(benchmark::State& state) { scanAndCopy(state, true); }
BENCHMARK(BM_FlacScanCopyAndPatches1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void BM_CpFlac1GiB(benchmark::State& state) {
  const std::string target = scratch->host("out/copy.flac");
  timeProgram(state, {"cp", scratch->host("big.flac"), target}, target);
  countBytes(state);
}
BENCHMARK(BM_CpFlac1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

void BM_FfmpegFlac1GiB(benchmark::State& state) {
  const std::string target = scratch->host("out/ffmpeg.flac");
  timeProgram(state,
              {"ffmpeg", "-y", "-loglevel", "error", "-nostdin", "-i", scratch->host("big.flac"), "-af",
               "asetrate=" + kNewRate, "-c:a", "flac", target},
              target);
  countBytes(state);
}
BENCHMARK(BM_FfmpegFlac1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(1);

void BM_VelloraCliFlac1GiB(benchmark::State& state) {
  timeProgram(state, {VELLORA_CLI, "-o", scratch->host("out/cli"), scratch->host("big.flac")},
              scratch->host("out/cli/big-90.flac"));
  countBytes(state);
}

void BM_FlacScanPeakMemory(benchmark::State& state) {
  measurePeakMemory(state, [] {
    HostFileSystem fs = files();
    std::unique_ptr<InputFile> input;
    return scan(fs, input).ok();
  });
}
BENCHMARK(BM_FlacScanPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Two hours of pink noise compress to about 1 GiB.
void writeFlac(const std::string& hostPath) {
  const std::string pipeline = "sox -n -r 44100 -b 16 -c 2 -t wav - synth 7300 pinknoise vol 0.5 | flac -s -0 -f -o '" +
                               hostPath + "' -";
  if (runProgram({"sh", "-c", pipeline}, Output::Discarded) != 0 || !std::filesystem::exists(hostPath))
    throw std::runtime_error("sox and flac could not make " + hostPath);
}

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  using namespace vellora::bench;
  ScratchDrive drive;
  scratch = &drive;
  ::mkdir(drive.host("out").c_str(), 0755);
  ::mkdir(drive.host("out/cli").c_str(), 0755);
  writeFlac(drive.host("big.flac"));
  flacBytes = static_cast<std::int64_t>(std::filesystem::file_size(drive.host("big.flac")));

  std::vector<std::pair<std::string, std::string>> ratios = {{"BM_FlacScan1GiB", "BM_CpFlac1GiB"},
                                                             {"BM_FlacScanAndCopy1GiB", "BM_CpFlac1GiB"},
                                                             {"BM_FlacScanCopyAndPatches1GiB", "BM_CpFlac1GiB"},
                                                             {"BM_FfmpegFlac1GiB", "BM_FlacScanAndCopy1GiB"}};
  // vellora-cli joins once it converts FLAC.
  if (runProgram({VELLORA_CLI, "-o", drive.host("out/cli"), drive.host("big.flac")}, Output::Discarded) == 0) {
    std::filesystem::remove(drive.host("out/cli/big-90.flac"));
    benchmark::RegisterBenchmark("BM_VelloraCliFlac1GiB", BM_VelloraCliFlac1GiB)
        ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);
    ratios.push_back({"BM_VelloraCliFlac1GiB", "BM_CpFlac1GiB"});
    ratios.push_back({"BM_FfmpegFlac1GiB", "BM_VelloraCliFlac1GiB"});
  }
  return runBenchmarks(argc, argv, ratios);
}
