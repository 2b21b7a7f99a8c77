// Any byte string as a FLAC file: the plan must not crash or read past the
// data; when it succeeds, its patches lie in the file in order, and the
// patched copy walks again, at its new rate, with every frame's CRCs right.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "speed/flac.h"
#include "speed/memory_source.h"

namespace {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

vellora::RatePlan plan(std::span<const std::byte> bytes, const vellora::RateChange& change) {
  vellora::MemorySource source(bytes);
  vellora::ScanInput in(source);
  return vellora::planFlac(in, 0, change);
}

void check(std::span<const std::byte> input, const vellora::RateChange& change) {
  const vellora::RatePlan p = plan(input, change);
  if (!p.ok()) {
    require(p.patches.empty() && p.notes.empty(), "a refused file has no plan");
    return;
  }
  std::vector<std::byte> copy(input.begin(), input.end());
  std::uint64_t end = 0;
  for (const vellora::Patch& patch : p.patches) {
    require(patch.offset >= end && patch.offset + patch.size <= copy.size(), "patches in order, in the file");
    std::memcpy(copy.data() + patch.offset, patch.view().data(), patch.size);
    end = patch.offset + patch.size;
  }
  const vellora::RatePlan again = plan(copy, {1.0, static_cast<std::uint32_t>(p.before.sampleRate)});
  require(again.ok(), "the patched copy walks again");
  require(again.before.sampleRate == p.after.sampleRate, "the copy has the new rate");

  // Padding after frames whose last byte is not zero changes no patch (one
  // that ends in zeros cannot tell its footer from the padding by CRC alone).
  if (input.empty() || input.back() == std::byte{0}) return;
  std::vector<std::byte> padded(input.begin(), input.end());
  padded.resize(input.size() + 300);
  const vellora::RatePlan withZeros = plan(padded, change);
  if (!withZeros.ok()) return;  // a tag at the end is one no more
  require(withZeros.patches.size() == p.patches.size(), "zeros after the frames are padding");
  for (std::size_t i = 0; i < p.patches.size(); ++i)
    require(withZeros.patches[i].offset == p.patches[i].offset &&
                withZeros.patches[i].view().size() == p.patches[i].view().size() &&
                std::equal(withZeros.patches[i].bytes.begin(), withZeros.patches[i].bytes.end(),
                           p.patches[i].bytes.begin()),
            "zeros after the frames change no patch");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A private copy, so that ASan sees a read one byte past the data.
  std::vector<std::byte> input(size);
  if (size) std::memcpy(input.data(), data, size);
  check(input, {0.9, std::nullopt});
  check(input, {0.5, std::nullopt});
  check(input, {1.0, 11000});
  check(input, {1.0, 349441});
  return 0;
}
