// Writes the fuzzer's seed corpus, made by the tests' builders, into the
// directory given as the only argument: WAV files and one or two of every
// other format.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/format_builders.h"
#include "support/wav_builder.h"

using namespace vellora::test;

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
      {"aiff.aiff", AiffBuilder().comm(2, 4, 16, 44100).ssnd(16).bytes()},
      {"comm-last.aiff", AiffBuilder().chunk("NAME", "odd").ssnd(9).comm(1, 9, 8, 22254.545454545455).bytes()},
      {"sowt.aifc", AiffBuilder(true).chunk("FVER", be32(0xA2805140)).comm(2, 4, 16, 48000, "sowt").ssnd(16).bytes()},
      {"wave64.w64", Wave64Builder().chunk("levl", "abcde").fmt(cd).data(16).bytes()},
      {"lpcm.caf", CafBuilder().desc(48000, "lpcm", 2, 24, 6).chunk("data", pattern(12)).bytes()},
      {"alac.caf", CafBuilder().desc(44100, "alac", 2, 0, 0, 4096).chunk("kuki",
           alacCookieWithAtoms(alacConfig(44100, 16, 2, 1411200))).chunkWithSize("data", -1, pattern(8)).bytes()},
      {"vorbis.ogg", oggVorbis(44100, 2, 1, 20, 300, 2)},
      {"chained.ogg", oggVorbis(44100, 2, 1, 20, 300, 1) + oggVorbis(22050, 1, 2, 10, 100, 1)},
      {"opus.opus", joinPages(oggPages({"OpusHead" + pattern(11), "OpusTags" + pattern(8), pattern(20)}, 3))},
      {"frame.mp3", std::string("\xff\xfb\x90\x64", 4) + pattern(60)},
  };
  for (const auto& [name, bytes] : seeds) {
    const std::string file = name;
    const std::string path = std::string(argv[1]) + "/" + (file.find('.') == std::string::npos ? file + ".wav" : file);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
    std::fclose(f);
  }
  return 0;
}
