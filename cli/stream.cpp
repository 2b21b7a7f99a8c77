#include "cli/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "speed/memory_source.h"

namespace vellora::cli {
namespace {

constexpr std::size_t kChunk = std::size_t{128} << 10;

// The held bytes as the scan sees them: while the stream goes on, its end is
// unknown, so no chunk can yet run past it.
class HeldBytes final : public ByteSource {
 public:
  HeldBytes(std::span<const std::byte> bytes, std::uint64_t size) : memory_(bytes), size_(size) {}
  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    return memory_.readAt(offset, into);
  }
  std::uint64_t size() const override { return size_; }

 private:
  MemorySource memory_;
  std::uint64_t size_;
};

// Lets the core's patch write into the held bytes.
class HeldReplacement final : public ReplacementFile {
 public:
  explicit HeldReplacement(std::vector<std::byte>& bytes) : bytes_(bytes) {}
  IoStatus copyFrom(InputFile&, const CopyProgress&) override {
    return IoStatus::failure("a stream is not copied whole");
  }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset)
      return IoStatus::failure("the format chunk lies past the bytes read");
    std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
    return {};
  }
  IoStatus commit(Existing) override { return {}; }

 private:
  std::vector<std::byte>& bytes_;
};

}  // namespace

StreamHead readStreamHead(StreamEnd& in, std::uint64_t knownSize) {
  StreamHead head;
  bool ended = false;
  for (;;) {
    const std::uint64_t size =
        knownSize != 0 ? knownSize : ended ? head.bytes.size() : std::numeric_limits<std::uint64_t>::max();
    HeldBytes source(head.bytes, size);
    head.scan = scanHeader(source);
    if (head.scan.end != ScanEnd::ShortFile || ended) return head;
    if (head.bytes.size() >= kMaxStreamHead) {
      head.readStatus = IoStatus::failure("no format chunk in its first 16 MiB");
      return head;
    }
    const std::size_t held = head.bytes.size();
    head.bytes.resize(held + kChunk);
    const ByteSource::Read r = in.readSome(std::span(head.bytes).subspan(held));
    head.bytes.resize(held + r.count);
    if (!r.status) {
      head.readStatus = r.status;
      return head;
    }
    ended = r.count == 0;
  }
}

IoStatus patchHead(StreamHead& head, const FormatBody& scaled) {
  HeldReplacement held(head.bytes);
  return patchFormat(held, head.scan, scaled);
}

StreamMove writeStream(const StreamHead& head, StreamEnd& in, std::optional<std::uint64_t> knownSize,
                       StreamEnd& out, Console& console) {
  StreamMove result;
  if (IoStatus s = out.writeAll(head.bytes); !s) {
    result.status = s;
    return result;
  }
  std::optional<std::uint64_t> rest;
  if (knownSize) rest = *knownSize - std::min<std::uint64_t>(*knownSize, head.bytes.size());
  if (std::optional<StreamMove> moved = console.moveInSystem(in, out, rest)) return *moved;
  result.method = "read/write";
  // Page-aligned, as the kernel copies into and out of it much faster so.
  struct alignas(4096) Buffer {
    std::byte bytes[kChunk];
  };
  const auto held = std::make_unique<Buffer>();
  for (;;) {
    const std::span<std::byte> room =
        rest ? std::span(held->bytes).first(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, *rest)))
             : std::span(held->bytes);
    if (room.empty()) return result;
    const ByteSource::Read r = in.readSome(room);
    if (!r.status) {
      result.status = r.status;
      result.inputFailed = true;
      return result;
    }
    if (r.count == 0) return result;
    if (IoStatus s = out.writeAll(room.first(r.count)); !s) {
      result.status = s;
      return result;
    }
    if (rest) *rest -= r.count;
  }
}

}  // namespace vellora::cli
