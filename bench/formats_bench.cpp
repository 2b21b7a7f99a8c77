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
#include "speed/bytes.h"
#include "speed/ogg_vorbis.h"

namespace vellora::bench {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr int kInPlaceFiles = 10000;
ScratchDrive* scratch = nullptr;
std::vector<std::string> inPlaceFiles;
const std::string kCli = VELLORA_CLI;

std::string be32(std::uint32_t v) {
  std::array<std::byte, 4> b{};
  write_u32be(b.data(), v);
  return {reinterpret_cast<const char*>(b.data()), 4};
}
std::string le32(std::uint32_t v) {
  std::array<std::byte, 4> b{};
  write_u32le(b.data(), v);
  return {reinterpret_cast<const char*>(b.data()), 4};
}
std::string le64(std::uint64_t v) { return le32(static_cast<std::uint32_t>(v)) + le32(static_cast<std::uint32_t>(v >> 32)); }
std::string be64(std::uint64_t v) { return be32(static_cast<std::uint32_t>(v >> 32)) + be32(static_cast<std::uint32_t>(v)); }
std::string be16(std::uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

// `header`, then audio bytes up to `total`: written out, or left a hole.
void writeFile(const std::string& path, const std::string& header, std::uint64_t total, bool sparse = false) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(header.data(), 1, header.size(), f);
  if (sparse) {
    std::fflush(f);
    if (::ftruncate(::fileno(f), static_cast<off_t>(total)) != 0) throw std::runtime_error("cannot size " + path);
  } else {
    std::vector<char> block(kMiB);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
    for (std::uint64_t left = total - header.size(); left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      std::fwrite(block.data(), 1, n, f);
      left -= n;
    }
  }
  std::fclose(f);
}

std::string aiffHeader(std::uint64_t total) {
  const std::string comm = be16(2) + be32(static_cast<std::uint32_t>((total - 54) / 4)) + be16(16) +
                           std::string("\x40\x0e\xac\x44\0\0\0\0\0\0", 10);
  return "FORM" + be32(static_cast<std::uint32_t>(total - 8)) + "AIFF" + "COMM" + be32(18) + comm + "SSND" +
         be32(static_cast<std::uint32_t>(total - 46)) + std::string(8, '\0');
}

std::string wave64Header(std::uint64_t total) {
  const std::string tail("\xf3\xac\xd3\x11\x8c\xd1\x00\xc0\x4f\x8e\xdb\x8a", 12);
  const std::string fmt = le32(0x00020001) + le32(44100) + le32(176400) + le32(0x00100004);
  return "riff" + std::string("\x2e\x91\xcf\x11\xa5\xd6\x28\xdb\x04\xc1\x00\x00", 12) + le64(total) + "wave" + tail +
         "fmt " + tail + le64(24 + 16) + fmt + "data" + tail + le64(total - 104);
}

std::string cafHeader(std::uint64_t total) {
  return "caff" + std::string("\0\x01\0\0", 4) + "desc" + be64(32) + std::string("\x40\xe5\x88\x80\0\0\0\0", 8) +
         "lpcm" + be32(2) + be32(4) + be32(1) + be32(2) + be32(16) + "data" + be64(total - 64) + be32(0);
}

// An Ogg page with `body`, its checksum computed.
std::string oggPage(std::uint8_t flags, std::uint64_t granule, std::uint32_t sequence, const std::string& body) {
  std::string page = "OggS" + std::string(1, '\0') + std::string(1, static_cast<char>(flags)) + le64(granule) + le32(1) +
                     le32(sequence) + le32(0);
  std::string lacing;
  for (std::size_t left = body.size(); ; left -= 255) {
    lacing += static_cast<char>(std::min<std::size_t>(left, 255));
    if (left < 255) break;
  }
  page += static_cast<char>(lacing.size());
  page += lacing + body;
  const std::uint32_t crc = oggCrc(std::as_bytes(std::span(page)));
  page.replace(22, 4, le32(crc));
  return page;
}

// Real-sized pages of about 4 KiB each, as oggenc writes them.
void writeOgg(const std::string& path, std::uint64_t total) {
  const std::string id = "\x01vorbis" + le32(0) + "\x02" + le32(44100) + le32(0) + le32(128000) + le32(0) + "\xb8\x01";
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
  std::string chunks = "RIFF" + le32(0) + "WAVE";
  const std::string empty = "JUNK" + le32(0);
  for (int i = 0; i < (1 << 22); ++i) chunks += empty;
  chunks += "fmt " + le32(16) + le32(0x00020001) + le32(44100) + le32(176400) + le32(0x00100004);
  chunks += "data" + le32(4096);
  writeFile(path, chunks, chunks.size() + 4096);
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
