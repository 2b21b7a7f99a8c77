// Writes the fuzzer's seed corpus, made by the tests' WAV builder, into the
// directory given as the only argument.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/wav_builder.h"

using vellora::test::Format;
using vellora::test::WavBuilder;

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
  for (const auto& [name, bytes] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name + ".wav";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
    std::fclose(f);
  }
  return 0;
}
