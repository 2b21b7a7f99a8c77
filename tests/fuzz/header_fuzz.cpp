// Any byte string as an input file: the header scan must not crash or read
// past the data, and when it finds a format chunk, the patch must lie wholly
// inside the file and change nothing but the two rates.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "speed/memory_source.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A private copy, so that ASan sees a read one byte past the data.
  std::vector<std::byte> input(size);
  if (size) std::memcpy(input.data(), data, size);
  check(input, false);
  check(input, true);
  return 0;
}
