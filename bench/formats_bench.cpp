// vellora-cli on 1 GiB of each format (WAV, AIFF, Wave64, CAF, Ogg Vorbis)
// against cp of a file of the same size, and -c of the Ogg file against cat;
// --in-place on 10,000 files of 100 MiB; the scan of a WAV file with 32 MiB
// of empty chunks before its format chunk; and the peak memory of -c
// streaming those chunks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "support/format_builders.h"

namespace vellora::bench {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr int kInPlaceFiles = 10000;
ScratchDrive* scratch = nullptr;
std::vector<std::string> inPlaceFiles;
const std::string kCli = VELLORA_CLI;

std::string aiffHeader(std::uint64_t total) {
  std::string header = test::AiffBuilder()
                           .comm(2, static_cast<std::uint32_t>((total - 54) / 4), 16, 44100)
                           .chunk("SSND", std::string(8, '\0'))
                           .bytes();
  // The sizes count the sound bytes that follow the header in the file.
  header.replace(4, 4, test::be32(static_cast<std::uint32_t>(total - 8)));
  header.replace(42, 4, test::be32(static_cast<std::uint32_t>(total - 46)));
  return header;
}

std::string wave64Header(std::uint64_t total) {
  std::string header = test::Wave64Builder().fmt(test::Format::pcm(44100, 2, 16)).chunkWithSize("data", total - 80, "").bytes();
  header.replace(16, 8, test::le64(total));
  return header;
}

std::string cafHeader(std::uint64_t total) {
  return test::CafBuilder().desc(44100, "lpcm", 2, 16, 4).chunkWithSize("data", static_cast<std::int64_t>(total - 64), test::be32(0)).bytes();
}

std::string oggPage(std::uint8_t flags, std::uint64_t granule, std::uint32_t sequence, const std::string& body) {
  test::OggPage page{.flags = flags, .granule = granule, .serial = 1, .sequence = sequence, .lacing = {}, .body = body};
  for (std::size_t left = body.size();; left -= 255) {
    page.lacing.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(left, 255)));
    if (left < 255) break;
  }
  return page.bytes();
}

// Real-sized pages of about 4 KiB each, as oggenc writes them.
void writeOgg(const std::string& path, std::uint64_t total) {
  const std::string id = test::vorbisIdentification(44100, 2, 0, 128000, 0);
  std::string head = oggPage(2, 0, 0, id) + oggPage(0, 0, 1, "\x03vorbis" + std::string(60, 'c')) +
                     oggPage(0, 0, 2, "\x05vorbis" + std::string(3000, 's'));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(head.data(), 1, head.size(), f);
  std::string body(4000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + 3);
  std::uint64_t written = head.size();
  for (std::uint32_t sequence = 3; written < total; ++sequence) {
    const std::string page = oggPage(0, sequence * 1024ULL, sequence, body);
    std::fwrite(page.data(), 1, page.size(), f);
    written += page.size();
  }
  std::fclose(f);
}

// A WAV file with 32 MiB of empty chunks before its format chunk. The
// header is built here and gone before the benchmarks run, so that the
// processes forked to measure memory do not start with it.
void writeChunks(const std::string& path) {
  test::WavBuilder chunks;
  for (int i = 0; i < (1 << 22); ++i) chunks.chunk("JUNK", "");
  const std::string header =
      chunks.riffSize(0).fmt(test::Format::pcm(44100, 2, 16)).chunkWithSize("data", 4096, "").bytes();
  writeFile(path, header, header.size() + 4096);
}

void timeCli(benchmark::State& state, const std::string& name) {
  const std::string out = scratch->host("out");
  timeProgram(state, {kCli, "-q", "-o", out, scratch->host(name)}, out);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kGiB));
}

void BM_CliWav1GiB(benchmark::State& state) { timeCli(state, "big.wav"); }
void BM_CliAiff1GiB(benchmark::State& state) { timeCli(state, "big.aiff"); }
void BM_CliWave641GiB(benchmark::State& state) { timeCli(state, "big.w64"); }
void BM_CliCaf1GiB(benchmark::State& state) { timeCli(state, "big.caf"); }
void BM_CliOggVorbis1GiB(benchmark::State& state) { timeCli(state, "big.ogg"); }
void BM_Cp1GiB(benchmark::State& state) {
  const std::string target = scratch->host("cp.aiff");
  timeProgram(state, {"cp", scratch->host("big.aiff"), target}, target);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kGiB));
}

// -c walks every page of an Ogg file to find chained streams, so the whole
// file passes through the scan: against cat of the same file.
void BM_CliStreamOggVorbis1GiB(benchmark::State& state) {
  timeProgram(state, {"sh", "-c", kCli + " -qc " + scratch->host("big.ogg") + " > /dev/null"}, {});
}
void BM_CatOggVorbis1GiB(benchmark::State& state) {
  timeProgram(state, {"sh", "-c", "cat " + scratch->host("big.ogg") + " > /dev/null"}, {});
}

#define FORMAT_BENCHMARK(name) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15)
FORMAT_BENCHMARK(BM_CliWav1GiB);
FORMAT_BENCHMARK(BM_CliAiff1GiB);
FORMAT_BENCHMARK(BM_CliWave641GiB);
FORMAT_BENCHMARK(BM_CliCaf1GiB);
FORMAT_BENCHMARK(BM_CliOggVorbis1GiB);
FORMAT_BENCHMARK(BM_Cp1GiB);
FORMAT_BENCHMARK(BM_CliStreamOggVorbis1GiB);
FORMAT_BENCHMARK(BM_CatOggVorbis1GiB);

// One call changes 10,000 files of 100 MiB in place; the rates go down by
// 10% each run, which costs the same.
void BM_InPlace10000Files(benchmark::State& state) {
  std::vector<std::string> argv = {kCli, "-q", "--in-place"};
  argv.insert(argv.end(), inPlaceFiles.begin(), inPlaceFiles.end());
  timeProgram(state, argv, {});
}
BENCHMARK(BM_InPlace10000Files)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

// 4,194,304 empty chunks before the format chunk: the dry run reads the header and stops.
void BM_ScanOf32MiBOfChunks(benchmark::State& state) {
  timeProgram(state, {kCli, "-n", "-o", scratch->host("out"), scratch->host("chunks.wav")}, {});
}
BENCHMARK(BM_ScanOf32MiBOfChunks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9);

// -c streams the chunks through as it scans them: memory stays flat.
void BM_StreamOf32MiBOfChunksPeakMemory(benchmark::State& state) {
  const std::string command = kCli + " -qc - < " + scratch->host("chunks.wav") + " > /dev/null";
  measureCommandPeakMemory(state, command);
}
BENCHMARK(BM_StreamOf32MiBOfChunksPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  using namespace vellora::bench;
  ScratchDrive drive;
  scratch = &drive;
  writeWav(drive.host("big.wav"), kGiB);
  writeFile(drive.host("big.aiff"), aiffHeader(kGiB), kGiB);
  writeFile(drive.host("big.w64"), wave64Header(kGiB), kGiB);
  writeFile(drive.host("big.caf"), cafHeader(kGiB), kGiB);
  writeOgg(drive.host("big.ogg"), kGiB);

  writeChunks(drive.host("chunks.wav"));

  ::mkdir(drive.host("many").c_str(), 0755);
  char name[32];
  for (int i = 0; i < kInPlaceFiles; ++i) {
    std::snprintf(name, sizeof name, "many/take-%05d.aiff", i);
    inPlaceFiles.push_back(drive.host(name));
    writeFile(inPlaceFiles.back(), aiffHeader(100 * kMiB), 100 * kMiB, true);
  }

  return runBenchmarks(argc, argv,
                       {{"BM_CliWav1GiB", "BM_Cp1GiB"},
                        {"BM_CliAiff1GiB", "BM_Cp1GiB"},
                        {"BM_CliWave641GiB", "BM_Cp1GiB"},
                        {"BM_CliCaf1GiB", "BM_Cp1GiB"},
                        {"BM_CliOggVorbis1GiB", "BM_Cp1GiB"},
                        {"BM_CliStreamOggVorbis1GiB", "BM_CatOggVorbis1GiB"}});
}
