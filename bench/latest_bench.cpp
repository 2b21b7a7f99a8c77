// The newest-recording finder on a directory of 100,000 files of which
// 10,000 are WAV files, against the usual shell pipeline for the same answer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "bench_support.h"
#include "platform/linux/host_file_system.h"
#include "shellfiles/latest.h"

namespace vellora::bench {
namespace {

ScratchDrive* scratch = nullptr;

struct Box : InputBox {
  std::string value;
  std::string text() override { return value; }
  void setText(const std::string& t) override { value = t; }
};

void makeDirectory(const std::string& dir) {
  ::mkdir(dir.c_str(), 0755);
  char name[64];
  for (int i = 0; i < 100'000; ++i) {
    // Every tenth file is a recording; times are spread and unique.
    std::snprintf(name, sizeof name, i % 10 == 0 ? "/take-%06d.wav" : "/note-%06d.txt", i);
    const std::string path = dir + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const timespec times[2] = {{1'600'000'000 + (i * 7919) % 100'000, 0},
                               {1'600'000'000 + (i * 7919) % 100'000, 0}};
    ::futimens(fd, times);
    ::close(fd);
  }
}

void BM_GetLatest(benchmark::State& state) {
  HostFileSystem files{DriveMap::fromEnvironment()};
  Box box;
  for (auto _ : state) {
    box.value = "C:\\many\\in.wav";
    getLatest(files, box);
  }
  state.SetLabel(box.value.substr(box.value.rfind('\\') + 1));
}
BENCHMARK(BM_GetLatest)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);

void BM_FindSortTail(benchmark::State& state) {
  const std::string pipeline = "find " + scratch->host("many") +
                               " -maxdepth 1 -iname '*.wav' -printf '%T@ %p\\n' | sort -n | "
                               "tail -1 >/dev/null";
  for (auto _ : state)
    if (runProgram({"sh", "-c", pipeline}) != 0) state.SkipWithError("pipeline failed");
}
BENCHMARK(BM_FindSortTail)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  using namespace vellora::bench;
  ScratchDrive drive;
  scratch = &drive;
  makeDirectory(drive.host("many"));

  return runBenchmarks(argc, argv, {{"BM_GetLatest", "BM_FindSortTail"}});
}
