// A FLAC speed change on 1 GiB of FLAC (two hours of pink noise, 16-bit
// stereo at 44100 Hz, 280,000 frames), as flac -0 and flac -8 write it:
// vellora-cli against cp of the same file, -c against cat, and against the
// two ways of re-encoding it, ffmpeg and flac | flac; and vellora-cli's peak
// memory for 100 MB, 1 GiB and 4 GiB, which must not grow with the file.
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "bench_support.h"

namespace vellora::bench {
namespace {

const std::string kNewRate = "39690";  // 44100 Hz at 90%
const std::string kCli = VELLORA_CLI;
ScratchDrive* scratch = nullptr;

std::string input(const std::string& name) { return scratch->host(name); }

void countBytes(benchmark::State& state, const std::string& name) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(input(name))));
}

void timeCli(benchmark::State& state, const std::string& name) {
  const std::string out = scratch->host("out/cli");
  timeProgram(state, {kCli, "-q", "-o", out, input(name)}, out);
  countBytes(state, name);
}

void timeCp(benchmark::State& state, const std::string& name) {
  const std::string target = scratch->host("out/copy.flac");
  timeProgram(state, {"cp", input(name), target}, target);
  countBytes(state, name);
}

void BM_CliFlac0(benchmark::State& state) { timeCli(state, "big0.flac"); }
void BM_CpFlac0(benchmark::State& state) { timeCp(state, "big0.flac"); }
void BM_CliFlac8(benchmark::State& state) { timeCli(state, "big8.flac"); }
void BM_CpFlac8(benchmark::State& state) { timeCp(state, "big8.flac"); }

void BM_CliStreamFlac0(benchmark::State& state) {
  timeProgram(state, {"sh", "-c", kCli + " -qc " + input("big0.flac") + " > /dev/null"}, {});
  countBytes(state, "big0.flac");
}
void BM_CatFlac0(benchmark::State& state) {
  timeProgram(state, {"sh", "-c", "cat " + input("big0.flac") + " > /dev/null"}, {});
  countBytes(state, "big0.flac");
}

void BM_FfmpegFlac0(benchmark::State& state) {
  const std::string target = scratch->host("out/ffmpeg.flac");
  timeProgram(state,
              {"ffmpeg", "-y", "-loglevel", "error", "-nostdin", "-i", input("big0.flac"), "-af",
               "asetrate=" + kNewRate, "-c:a", "flac", target},
              target);
  countBytes(state, "big0.flac");
}

// flac's own decoder and encoder, the samples relabelled in between.
void BM_FlacPipeFlac0(benchmark::State& state) {
  const std::string raw = " --force-raw-format --endian=little --sign=signed ";
  const std::string target = scratch->host("out/flac.flac");
  timeProgram(state,
              {"sh", "-c",
               "flac -s -d -c" + raw + input("big0.flac") + " | flac -s -0 -f" + raw +
                   "--channels=2 --bps=16 --sample-rate=" + kNewRate + " -o " + target + " -"},
              target);
  countBytes(state, "big0.flac");
}

#define FLAC_BENCHMARK(name, repetitions) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(repetitions)
FLAC_BENCHMARK(BM_CliFlac0, 15);
FLAC_BENCHMARK(BM_CpFlac0, 15);
FLAC_BENCHMARK(BM_CliFlac8, 15);
FLAC_BENCHMARK(BM_CpFlac8, 15);
FLAC_BENCHMARK(BM_CliStreamFlac0, 9);
FLAC_BENCHMARK(BM_CatFlac0, 9);
FLAC_BENCHMARK(BM_FfmpegFlac0, 1);
FLAC_BENCHMARK(BM_FlacPipeFlac0, 1);

// Peak resident memory of a conversion, by the file's length in MB.
void BM_CliFlacPeakMemory(benchmark::State& state) {
  const std::string name = state.range(0) == 100 ? "small.flac" : state.range(0) == 1000 ? "big0.flac" : "huge.flac";
  measureCommandPeakMemory(state, kCli + " -q -f -o " + scratch->host("out/memory") + " " + input(name));
}
BENCHMARK(BM_CliFlacPeakMemory)->Arg(100)->Arg(1000)->Arg(4000)->Iterations(1)->Unit(benchmark::kMillisecond);

// `seconds` of pink noise at flac's `level`: two hours compress to about 1 GiB at -0.
void writeFlac(const std::string& hostPath, int seconds, int level) {
  const std::string pipeline = "sox -n -r 44100 -b 16 -c 2 -t wav - synth " + std::to_string(seconds) +
                               " pinknoise vol 0.5 | flac -s -" + std::to_string(level) + " -f -o '" + hostPath +
                               "' -";
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
  ::mkdir(drive.host("out/memory").c_str(), 0755);
  writeFlac(drive.host("big0.flac"), 7300, 0);
  writeFlac(drive.host("big8.flac"), 7300, 8);
  writeFlac(drive.host("small.flac"), 730, 0);
  writeFlac(drive.host("huge.flac"), 4 * 7300, 0);
  return runBenchmarks(argc, argv,
                       {{"BM_CliFlac0", "BM_CpFlac0"},
                        {"BM_CliFlac8", "BM_CpFlac8"},
                        {"BM_CliStreamFlac0", "BM_CatFlac0"},
                        {"BM_FfmpegFlac0", "BM_CliFlac0"},
                        {"BM_FlacPipeFlac0", "BM_CliFlac0"}});
}
