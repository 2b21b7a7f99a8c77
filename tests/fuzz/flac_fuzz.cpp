// Any byte string as a FLAC file: the plan must not crash or read past the
// data; when it succeeds, its patches lie in the file in order, and the
// patched copy walks again, at its new rate, with every frame's CRCs right.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

// The input as a stream through the one-pass conversion, which writes as it
// checks: what it wrote, and whether it got through.
struct Streamed {
  bool ok;
  std::string written;
};
Streamed streamed(std::span<const std::byte> bytes, const vellora::RateChange& change) {
  struct In final : vellora::ByteStream {
    std::span<const std::byte> rest;
    vellora::ByteSource::Read readSome(std::span<std::byte> into) override {
      const std::size_t n = std::min({into.size(), rest.size(), std::size_t{5000}});
      if (n) std::memcpy(into.data(), rest.data(), n);
      rest = rest.subspan(n);
      return {.count = n, .status = {}};
    }
  } in;
  struct Out final : vellora::ByteSink {
    std::string bytes;
    vellora::IoStatus writeAll(std::span<const std::byte> b) override {
      bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
      return {};
    }
  } out;
  in.rest = bytes;
  vellora::ScanInput scan(in, out);
  vellora::RatePlan p = vellora::planFlac(scan, 0, change);
  if (p.ok()) scan.finish(p.patches);
  return {p.ok() && scan.status(), out.bytes + std::string(reinterpret_cast<const char*>(in.rest.data()), in.rest.size())};
}

void check(std::span<const std::byte> input, const vellora::RateChange& change) {
  const vellora::RatePlan p = plan(input, change);
  const Streamed onePass = streamed(input, change);
  if (!p.ok()) {
    require(p.patches.empty() && p.notes.empty(), "a refused file has no plan");
    require(!onePass.ok, "a refused file is refused as a stream");
    return;
  }
  std::vector<std::byte> copy(input.begin(), input.end());
  std::uint64_t end = 0;
  for (const vellora::Patch& patch : p.patches) {
    require(patch.offset >= end && patch.offset + patch.size <= copy.size(), "patches in order, in the file");
    std::memcpy(copy.data() + patch.offset, patch.view().data(), patch.size);
    end = patch.offset + patch.size;
  }
  // A stream may refuse frames that would change form, which the file's plan avoids by a second walk.
  require(!onePass.ok || (onePass.written.size() == copy.size() &&
                          std::memcmp(onePass.written.data(), copy.data(), copy.size()) == 0),
          "the one pass writes the planned copy");
  const vellora::RatePlan again = plan(copy, {1.0, static_cast<std::uint32_t>(p.before.sampleRate)});
  require(again.ok(), "the patched copy walks again");
  require(again.before.sampleRate == p.after.sampleRate, "the copy has the new rate");

  // Zeros between two frames are padding too: the patches after them move, unchanged.
  const vellora::Patch* footer = nullptr;
  for (const vellora::Patch& patch : p.patches)
    if (patch.size == 2 && patch.offset + 2 < input.size() && input[patch.offset + 1] != std::byte{0}) footer = &patch;
  if (footer != nullptr) {
    const std::uint64_t boundary = footer->offset + 2;
    std::vector<std::byte> spaced(input.begin(), input.end());
    spaced.insert(spaced.begin() + static_cast<std::ptrdiff_t>(boundary), 300, std::byte{0});
    const vellora::RatePlan between = plan(spaced, change);
    require(between.ok() && between.patches.size() == p.patches.size(), "zeros between frames are padding");
    for (std::size_t i = 0; i < p.patches.size(); ++i)
      require(between.patches[i].offset == p.patches[i].offset + (p.patches[i].offset >= boundary ? 300 : 0),
              "zeros between frames move the patches after them");
  }

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
