// vellora-cli -c streaming a 1 GiB file to /dev/null, to a file and through
// pipes, against cat doing the same; and the peak memory of the stream, which
// must not grow with the input.
#include <unistd.h>

#include "bench_support.h"

namespace vellora::bench {
namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;
ScratchDrive* scratch = nullptr;

// Both sides run under the same shell, so that its start costs each the same.
void timeShell(benchmark::State& state, const std::string& command, const std::string& made) {
  timeProgram(state, {"sh", "-c", command}, made);
  state.SetBytesProcessed(state.iterations() * kGiB);
}

std::string big() { return scratch->host("big.wav"); }
std::string out() { return scratch->host("out.wav"); }
const std::string kCli = VELLORA_CLI;

void BM_CliToNull(benchmark::State& state) { timeShell(state, kCli + " -qc " + big() + " > /dev/null", {}); }
void BM_CatToNull(benchmark::State& state) { timeShell(state, "cat " + big() + " > /dev/null", {}); }
void BM_CliToFile(benchmark::State& state) { timeShell(state, kCli + " -qc " + big() + " > " + out(), out()); }
void BM_CatToFile(benchmark::State& state) { timeShell(state, "cat " + big() + " > " + out(), out()); }
void BM_CliPipes(benchmark::State& state) {
  timeShell(state, "cat " + big() + " | " + kCli + " -qc - | cat > /dev/null", {});
}
void BM_CatPipes(benchmark::State& state) {
  timeShell(state, "cat " + big() + " | cat | cat > /dev/null", {});
}

#define STREAM_BENCHMARK(name) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9)
STREAM_BENCHMARK(BM_CliToNull);
STREAM_BENCHMARK(BM_CatToNull);
STREAM_BENCHMARK(BM_CliToFile);
STREAM_BENCHMARK(BM_CatToFile);
STREAM_BENCHMARK(BM_CliPipes);
STREAM_BENCHMARK(BM_CatPipes);

// Peak resident memory of vellora-cli -c from a pipe, for 10 MiB and 1 GiB.
void BM_StreamPeakMemory(benchmark::State& state) {
  const std::string input = state.range(0) == 10 ? scratch->host("small.wav") : big();
  const std::string command = kCli + " -qc - < " + input + " > /dev/null";
  measureCommandPeakMemory(state, command);
}
BENCHMARK(BM_StreamPeakMemory)->Arg(10)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  using namespace vellora::bench;
  ScratchDrive drive;
  scratch = &drive;
  writeWav(drive.host("big.wav"), std::uint64_t{1} << 30);
  writeWav(drive.host("small.wav"), std::uint64_t{10} << 20);
  return runBenchmarks(argc, argv,
                       {{"BM_CliToNull", "BM_CatToNull"},
                        {"BM_CliToFile", "BM_CatToFile"},
                        {"BM_CliPipes", "BM_CatPipes"}});
}
