// Writes the fuzzers' seed corpus, made by the tests' WAV and FLAC builders,
// into the directory given as the only argument.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/flac_builder.h"
#include "support/wav_builder.h"

using vellora::test::FlacBuilder;
using vellora::test::Format;
using vellora::test::WavBuilder;

namespace {

// FLAC streams: each rate form, an uncommon last block, variable block sizes
// with a header inside the samples, tags around the stream.
std::vector<std::pair<const char*, std::string>> flacSeeds() {
  using vellora::test::Frame;
  using vellora::test::StreamInfo;
  const auto lastBlock = [](std::uint32_t rate) {
    return Frame{.number = 2, .blockSize = 1000, .rate = rate,
                 .subframes = vellora::test::constantSubframes(2, 16, 7)};
  };
  StreamInfo mono{.minBlockSize = 16, .maxBlockSize = 64, .rate = 44100, .channels = 1, .bitsPerSample = 8};
  const std::string decoy =
      vellora::test::frameHeader({.number = 40, .rate = 44100, .channelsCode = 0, .bitsCode = 1}, true);
  return {
      {"common", FlacBuilder().frames(3).bytes()},
      {"khz", FlacBuilder({.rate = 12000}).frames(3).bytes()},
      {"hz-last-block", FlacBuilder({.rate = 11025}).frames(2).frame(lastBlock(11025)).bytes()},
      {"tens-last-block", FlacBuilder({.rate = 384000}).frames(2).frame(lastBlock(384000)).bytes()},
      {"streaminfo-rate", FlacBuilder().frame({.rateCode = 0}).frame({.number = 1, .rateCode = 0}).bytes()},
      {"variable", FlacBuilder(mono, true)
                       .frame({.number = 0, .blockSize = 16, .channelsCode = 0, .bitsCode = 1,
                               .subframes = vellora::test::verbatim8(std::string(16, 'a'))})
                       .frame({.number = 16, .blockSize = 24, .channelsCode = 0, .bitsCode = 1,
                               .subframes = vellora::test::verbatim8("....." + decoy + "....")})
                       .frame({.number = 40, .blockSize = 17, .channelsCode = 0, .bitsCode = 1,
                               .subframes = vellora::test::verbatim8(std::string(17, 'c'))})
                       .bytes()},
      {"tags", FlacBuilder().id3v2(20).block(1, std::string(8, '\0')).frames(2).raw("TAG" + std::string(125, 't')).bytes()},
  };
}

void write(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::exit(1);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus DIRECTORY\n");
    return 2;
  }
  const Format cd = Format::pcm(44100, 2, 16), mono = Format::pcm(8000, 1, 8);
  const std::vector<std::pair<const char*, std::string>> seeds = {
      {"canonical", vellora::test::canonicalWav(44100, 2, 16, 64)},
      {"fmt-18", WavBuilder().fmt(mono, 18).data(16).bytes()},
      {"fmt-40", WavBuilder().fmt(cd, 40).data(16).bytes()},
      {"fact-first", WavBuilder().fact(1000).fmt(mono).data(8).bytes()},
      {"junk-28", WavBuilder().junk(28).fmt(cd).data(8).bytes()},
      {"list-odd", WavBuilder().chunk("LIST", "INFOa").fmt(cd).data(8).bytes()},
      {"bext", WavBuilder().chunk("bext", std::string(64, 'b')).fmt(cd).data(8).bytes()},
      {"data-first", WavBuilder().data(8).fmt(cd).bytes()},
      {"rf64", WavBuilder("RF64").riffSize(0xFFFFFFFF).chunk("ds64", std::string(28, '\0')).fmt(cd)
                   .chunkWithSize("data", 0xFFFFFFFF, std::string(8, 'd')).bytes()},
      {"past-end", WavBuilder().chunkWithSize("JUNK", 0x7FFFFFFF, "xx").fmt(cd).bytes()},
      {"truncated", vellora::test::canonicalWav().substr(0, 30)},
      {"rifx", WavBuilder("RIFX").fmt(cd).data(16).bytes()},
      {"rifx-fmt-40", WavBuilder("RIFX").junk(6).fmt(cd, 40).data(16).bytes()},
      {"rifx-list-odd", WavBuilder("RIFX").chunk("LIST", "INFOa").fmt(mono, 18).data(8).bytes()},
  };
  for (const auto& [name, bytes] : seeds) write(std::string(argv[1]) + "/" + name + ".wav", bytes);
  for (const auto& [name, bytes] : flacSeeds()) write(std::string(argv[1]) + "/" + name + ".flac", bytes);
  return 0;
}
