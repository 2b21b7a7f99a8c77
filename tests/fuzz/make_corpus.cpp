// Writes the fuzzers' seed corpus, made by the tests' builders, into the
// directory given as the only argument: WAV files, FLAC streams, and one or
// two files of every other format.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "speed/format_table.h"
#include "support/flac_builder.h"
#include "support/format_builders.h"
#include "support/wav_builder.h"

using namespace vellora::test;

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
      {"bw64", WavBuilder("BW64").riffSize(0xFFFFFFFF).chunk("ds64", std::string(28, '\0')).fmt(cd).data(8).bytes()},
      {"witnesses", WavBuilder().fmt(cd).data(8).chunk("smpl", std::string(36, '\0'))
                        .chunk("guan", "GUANO|Version: 1.0\nTE: 1\n    ").bytes()},
      {"id3-front", "ID3\x04" + std::string("\0\0\0\0\0\x05", 6) + "abcde" + WavBuilder().fmt(cd).data(8).bytes()},
      {"sun.au", vellora::test::au(8000, 1)},
      {"nist.sph", vellora::test::sphere("sample_rate -i 16000\n", 1024)},
      {"alac.m4a", M4a{}.bytes()},
      {"own-rate.wv", WavPackBlock{.rate = 37000}.bytes() + WavPackBlock{.rate = 37000, .checksumBytes = 2}.bytes()},
      {"wav-header.wv", WavPackBlock{.wrapper = WavBuilder().fmt(cd).chunkWithSize("data", 400, "").bytes()}.bytes()},
      {"alac-last-wide.m4a", M4a{.wide = true, .moovFirst = false, .fragmented = true}.bytes()},
  };
  // A seed named without an extension is a WAV file.
  for (const auto& [name, bytes] : seeds) {
    const std::string file = name;
    write(std::string(argv[1]) + "/" + (file.find('.') == std::string::npos ? file + ".wav" : file), bytes);
  }
  for (const auto& [name, bytes] : flacSeeds()) write(std::string(argv[1]) + "/" + name + ".flac", bytes);
  // Every format the table converts has a seed: FLAC's are above.
  for (const vellora::FormatKind& kind : vellora::formatTable()) {
    if (kind.scan == nullptr || kind.format == vellora::AudioFormat::Flac) continue;
    bool seeded = false;
    for (const auto& seed : seeds)
      seeded = seeded || vellora::probeHead(std::as_bytes(std::span(seed.second)), false) == &kind;
    if (!seeded) {
      std::fprintf(stderr, "make_corpus: no seed of %s\n", std::string(kind.name).c_str());
      return 1;
    }
  }
  return 0;
}
