#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "speed/bytes.h"
#include "speed/rate_plan.h"
#include "speed/scan_input.h"

namespace vellora {

// How a chunked container lays out its chunk headers.
enum class ChunkLayout {
  Riff,    // four letters, 32-bit little-endian size, bodies padded to even lengths (RF64 and BW64 too)
  Rifx,    // the same, big-endian
  Aiff,    // four letters, 32-bit big-endian size, bodies padded to even lengths
  Wave64,  // a 16-byte GUID, a 64-bit little-endian size that counts the header, 8-byte alignment
  Caf,     // four letters, a 64-bit big-endian signed size; -1 marks data that runs to the end
};

struct Chunk {
  std::uint64_t offset = 0;  // of its header
  std::uint64_t body = 0;    // of its body
  std::uint64_t size = 0;    // of its body
  std::array<std::byte, 16> id{};  // the four letters, or Wave64's GUID
  bool toEnd = false;        // CAF's data of size -1, which runs to the end of the file

  // Whether the chunk's id starts with `name` (four letters, or a whole GUID).
  bool is(std::string_view name) const { return hasId(id, 0, name); }
  std::uint64_t end() const { return body + size; }
};

// Why a walk stopped.
enum class WalkEnd {
  None,          // still walking
  FileEnd,       // the file ends where a chunk would begin
  ShortHeader,   // the file ends inside a chunk header
  PastEnd,       // a chunk's body runs past the end of the file
  BadSize,       // a size no chunk can have
  ReadFailed,    // the input could not be read, or the scan was cancelled
};

// Walks the chunks of a RIFF, RIFX, RF64, BW64, AIFF, Wave64 or CAF file one
// by one, stepping over each body with its padding. A stream writes out what
// the walk has stepped over, with the patches planned so far.
class ChunkWalk {
 public:
  ChunkWalk(ScanInput& input, ChunkLayout layout, std::uint64_t first);

  // The next chunk, or nullopt once the walk has ended (end() says why).
  // `planned` holds every patch that falls before that chunk.
  std::optional<Chunk> next(std::span<const Patch> planned = {});

  WalkEnd end() const { return end_; }
  // The offset where the walk stands: the next chunk's header, or where it ended.
  std::uint64_t position() const { return position_; }
  // RF64's and BW64's "ds64" chunk gives the data chunk's size where its own
  // header holds 0xFFFFFFFF.
  void setDataSize(std::uint64_t size) { dataSize_ = size; }

 private:
  ScanInput& input_;
  ChunkLayout layout_;
  std::uint64_t position_;
  std::optional<Chunk> current_;
  std::optional<std::uint64_t> dataSize_;
  WalkEnd end_ = WalkEnd::None;
};

// How long a chunk header is.
std::size_t chunkHeaderBytes(ChunkLayout layout);

}  // namespace vellora
