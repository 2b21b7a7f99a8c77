#include "speed/chunk_walk.h"

#include <limits>

namespace vellora {
namespace {

constexpr std::uint32_t kUnknown32 = 0xFFFFFFFF;

std::uint64_t stepOver(const Chunk& chunk, ChunkLayout layout) {
  switch (layout) {
    case ChunkLayout::Riff:
    case ChunkLayout::Rifx:
    case ChunkLayout::Aiff: return chunk.size + (chunk.size & 1U);
    case ChunkLayout::Wave64: return (chunk.size + 7) & ~std::uint64_t{7};
    case ChunkLayout::Caf: return chunk.size;
  }
  return chunk.size;
}

}  // namespace

std::size_t chunkHeaderBytes(ChunkLayout layout) {
  switch (layout) {
    case ChunkLayout::Wave64: return 24;
    case ChunkLayout::Caf: return 12;
    default: return 8;
  }
}

ChunkWalk::ChunkWalk(ScanInput& input, ChunkLayout layout, std::uint64_t first)
    : input_(input), layout_(layout), position_(first) {}

std::optional<Chunk> ChunkWalk::next(std::span<const Patch> planned) {
  if (end_ != WalkEnd::None) return std::nullopt;
  if (current_) {
    const std::uint64_t step = stepOver(*current_, layout_);
    const std::uint64_t size = input_.size();
    // A size near 2^64 would wrap round to where the chunk starts.
    if (current_->toEnd || current_->body > size || step > size - current_->body) {
      end_ = current_->toEnd ? WalkEnd::FileEnd : WalkEnd::PastEnd;
      position_ = current_->toEnd ? size : position_;
      current_.reset();
      return std::nullopt;
    }
    position_ = current_->body + step;
    current_.reset();
    input_.pass(position_, planned);
  }

  const std::size_t headerBytes = chunkHeaderBytes(layout_);
  const std::span<const std::byte> header = input_.read(position_, headerBytes);
  if (input_.failed()) {
    end_ = WalkEnd::ReadFailed;
    return std::nullopt;
  }
  if (header.size() < headerBytes) {
    // A stream learns only at its end that the last chunk ran past it.
    end_ = position_ > input_.size() ? WalkEnd::PastEnd : header.empty() ? WalkEnd::FileEnd : WalkEnd::ShortHeader;
    return std::nullopt;
  }

  Chunk chunk;
  chunk.offset = position_;
  chunk.body = position_ + headerBytes;
  const std::byte* p = header.data();
  switch (layout_) {
    case ChunkLayout::Riff:
    case ChunkLayout::Rifx: {
      std::copy_n(p, 4, chunk.id.begin());
      const std::uint32_t size = layout_ == ChunkLayout::Rifx ? read_u32be(p + 4) : read_u32le(p + 4);
      chunk.size = size == kUnknown32 && dataSize_ && chunk.is("data") ? *dataSize_ : size;
      break;
    }
    case ChunkLayout::Aiff:
      std::copy_n(p, 4, chunk.id.begin());
      chunk.size = read_u32be(p + 4);
      break;
    case ChunkLayout::Wave64: {
      std::copy_n(p, 16, chunk.id.begin());
      const std::uint64_t size = read_u64le(p + 16);
      if (size < headerBytes) {
        end_ = WalkEnd::BadSize;
        return std::nullopt;
      }
      chunk.size = size - headerBytes;
      break;
    }
    case ChunkLayout::Caf: {
      std::copy_n(p, 4, chunk.id.begin());
      const auto size = static_cast<std::int64_t>(read_u64be(p + 4));
      if (size == -1 && chunk.is("data")) {
        chunk.toEnd = true;
        const std::uint64_t fileSize = input_.size();
        chunk.size = fileSize == std::numeric_limits<std::uint64_t>::max() || fileSize < chunk.body
                         ? 0 : fileSize - chunk.body;
      } else if (size < 0) {
        end_ = WalkEnd::BadSize;
        return std::nullopt;
      } else {
        chunk.size = static_cast<std::uint64_t>(size);
      }
      break;
    }
  }
  current_ = chunk;
  return chunk;
}

}  // namespace vellora
