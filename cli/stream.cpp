#include "cli/stream.h"

#include <algorithm>
#include <memory>

namespace vellora::cli {
namespace {

constexpr std::size_t kChunk = std::size_t{128} << 10;

}  // namespace

ByteSource::Read StreamEndReader::readSome(std::span<std::byte> into) {
  if (left_) into = into.first(static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), *left_)));
  if (into.empty()) return {};
  const ByteSource::Read r = end_.readSome(into);
  if (left_) *left_ -= r.count;
  return r;
}

StreamMove writeRest(StreamEnd& in, std::optional<std::uint64_t> limit, StreamEnd& out, Console& console) {
  if (std::optional<StreamMove> moved = console.moveInSystem(in, out, limit)) return *moved;
  StreamMove result;
  result.method = "read/write";
  // Page-aligned, as the kernel copies into and out of it much faster so.
  struct alignas(4096) Buffer {
    std::byte bytes[kChunk];
  };
  const auto held = std::make_unique<Buffer>();
  for (;;) {
    const std::span<std::byte> room =
        limit ? std::span(held->bytes).first(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, *limit)))
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
    if (limit) *limit -= r.count;
  }
}

}  // namespace vellora::cli
