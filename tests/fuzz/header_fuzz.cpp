// Any byte string as an input file: the header scan must not crash or read
// past the data, and when it finds a format chunk, the patch must lie wholly
// inside the file and change nothing but the two rates. The same bytes as a
// file of any format: the plan's patches lie inside it in order, the patched
// copy reads back at the new rate, and a stream read in small pieces writes
// the very same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "speed/audio_format.h"
#include "speed/memory_source.h"
#include "speed/stream_change.h"
#include "speed/wav_header.h"

namespace {

using vellora::ByteSource;
using vellora::InputFile;
using vellora::IoStatus;

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

// A copy of the input in memory that refuses any write outside it.
class MemoryCopy final : public vellora::ReplacementFile {
 public:
  explicit MemoryCopy(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
  IoStatus copyFrom(InputFile&, const vellora::CopyProgress&) override { return {}; }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> data) override {
    require(offset <= bytes_.size() && data.size() <= bytes_.size() - offset,
            "the patch lies inside the file");
    std::memcpy(bytes_.data() + offset, data.data(), data.size());
    return {};
  }
  IoStatus commit(Existing) override { return {}; }
  const std::vector<std::byte>& bytes() const { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

void check(std::span<const std::byte> input, bool failureRecorded) {
  vellora::MemorySource source(input);
  const vellora::HeaderScan scan = vellora::scanHeader(source, failureRecorded);
  const bool rifx = input.size() >= 4 && std::memcmp(input.data(), "RIFX", 4) == 0;
  require((scan.order == vellora::ByteOrder::Big) == rifx, "only RIFX files are read big-endian");
  if (!scan.found()) {
    require(scan.formatPosition == 0 && scan.format == vellora::FormatBody{}, "nothing found, nothing kept");
    return;
  }
  const std::uint64_t at = vellora::bodyOffset(scan);
  require(scan.formatPosition >= 21 && at + 16 <= input.size(), "the format body lies in the file");

  for (const double factor : {0.9, 1.2, 0.003}) {
    const std::optional<vellora::FormatBody> scaled = vellora::scaleTiming(scan.format, factor);
    if (!scaled) continue;
    MemoryCopy copy({input.begin(), input.end()});
    require(vellora::patchFormat(copy, scan, *scaled).ok(), "the patch is written");
    const std::vector<std::byte>& out = copy.bytes();
    for (std::size_t i = 0; i < input.size(); ++i) {
      const bool rate = i >= at + 4 && i < at + 12;
      if (!rate) require(out[i] == input[i], "only the two rates change");
    }
    vellora::MemorySource patched(out);
    const vellora::HeaderScan again = vellora::scanHeader(patched, failureRecorded);
    require(again.found() && again.formatPosition == scan.formatPosition && again.format == *scaled,
            "the patched copy scans to the new rates");
  }
}

// A stream that hands out at most `piece` bytes a read.
class Trickle final : public vellora::ByteStream {
 public:
  Trickle(std::span<const std::byte> bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  ByteSource::Read readSome(std::span<std::byte> into) override {
    const std::size_t n = std::min({into.size(), piece_, bytes_.size() - at_});
    if (n > 0) std::memcpy(into.data(), bytes_.data() + at_, n);
    at_ += n;
    return {.count = n, .status = {}};
  }
  std::span<const std::byte> rest() const { return bytes_.subspan(at_); }

 private:
  std::span<const std::byte> bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

struct Collect final : vellora::ByteSink {
  std::vector<std::byte> bytes;
  IoStatus writeAll(std::span<const std::byte> b) override {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return {};
  }
};

void checkPlan(std::span<const std::byte> input) {
  const vellora::RateChange change{.factor = 0.9, .exactRate = {}};
  vellora::MemorySource source(input);
  const vellora::RatePlan plan = vellora::planRateChange(source, change);
  std::uint64_t end = 0;
  for (const vellora::Patch& patch : plan.patches) {
    require(patch.size > 0 && patch.size <= vellora::Patch::kMaxBytes, "a patch holds 1 to 16 bytes");
    require(patch.offset >= end && patch.offset + patch.size <= input.size(), "patches lie in the file, in order");
    end = patch.offset + patch.size;
  }
  std::vector<std::byte> patched(input.begin(), input.end());
  vellora::applyPatches(patched, 0, plan.patches);
  if (plan.ok()) {
    // A rate that rounds to itself (1 Hz at 90%) leaves the copy as it is.
    require(!plan.patches.empty() || plan.after.sampleRate == plan.before.sampleRate,
            "a plan that changes the rate patches something");
    vellora::MemorySource copy(patched);
    const vellora::RatePlan again = vellora::planRateChange(copy, {.factor = 1, .exactRate = {}});
    require(again.ok() && again.before.sampleRate == plan.after.sampleRate, "the copy reads back at the new rate");
  } else {
    require(plan.patches.empty(), "a failed plan patches nothing");
  }

  // Zeros between two Ogg pages are bytes no page explains: refused, never
  // read past to a later stream's page.
  if (plan.ok() && plan.format == vellora::AudioFormat::OggVorbis) {
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    const std::size_t second = text.find("OggS", 1);
    if (second != std::string_view::npos) {
      std::vector<std::byte> spaced(input.begin(), input.end());
      spaced.insert(spaced.begin() + static_cast<std::ptrdiff_t>(second), 300, std::byte{0});
      vellora::MemorySource zeros(spaced);
      require(!vellora::planRateChange(zeros, change).ok(), "zeros between Ogg pages are refused");
    }
  }

  Trickle in(input, 1 + input.size() % 97);
  Collect out;
  const vellora::StreamChange streamed = vellora::changeStream(in, out, change, "in", "out");
  if (!streamed.ok()) return;
  require(plan.ok(), "what streams, converts as a file");
  out.bytes.insert(out.bytes.end(), in.rest().begin(), in.rest().end());
  require(out.bytes == patched, "a stream writes what the file's plan makes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A private copy, so that ASan sees a read one byte past the data.
  std::vector<std::byte> input(size);
  if (size) std::memcpy(input.data(), data, size);
  check(input, false);
  check(input, true);
  checkPlan(input);
  return 0;
}
