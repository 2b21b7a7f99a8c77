#include "speed/scan_input.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vellora {
namespace {

// A file is read in blocks that start small, since most headers end within
// the first few hundred bytes, and grow while the scan keeps reading on.
constexpr std::size_t kFirstRead = std::size_t{4} << 10;
constexpr std::size_t kLargestRead = std::size_t{1} << 20;
// A stream is read in pieces of this size, and what the scan has passed is
// written out once this much has gathered.
constexpr std::size_t kStreamRead = std::size_t{128} << 10;

constexpr std::uint64_t kUnknownSize = std::numeric_limits<std::uint64_t>::max();

}  // namespace

void applyPatches(std::span<std::byte> bytes, std::uint64_t offset, std::span<const Patch> patches) {
  const std::uint64_t end = offset + bytes.size();
  for (const Patch& patch : patches) {
    const std::uint64_t from = std::max(patch.offset, offset);
    const std::uint64_t to = std::min(patch.offset + patch.size, end);
    if (from >= to) continue;
    std::memcpy(bytes.data() + (from - offset), patch.bytes.data() + (from - patch.offset),
                static_cast<std::size_t>(to - from));
  }
}

ScanInput::ScanInput(ByteSource& file, CopyProgress progress)
    : file_(&file), progress_(std::move(progress)) {}

ScanInput::ScanInput(ByteStream& in, ByteSink& out) : in_(&in), out_(&out) {}

ScanInput::ScanInput(ByteSource& file, PatchSink& copy, CopyProgress progress)
    : file_(&file), progress_(std::move(progress)), sink_(&copy) {}

std::uint64_t ScanInput::size() const {
  if (file_ != nullptr) return file_->size();
  return ended_ ? start_ + length_ : kUnknownSize;
}

std::span<const std::byte> ScanInput::read(std::uint64_t offset, std::size_t count) {
  if (failed()) return {};
  return file_ != nullptr ? readFile(offset, count) : readStream(offset, count);
}

std::size_t ScanInput::readInto(std::uint64_t offset, std::span<std::byte> into) {
  if (failed() || file_ == nullptr) return 0;
  const std::uint64_t size = file_->size();
  if (offset >= size) return 0;
  if (progress_ && offset != 0 && !progress_(offset, size)) {
    cancelled_ = true;
    return 0;
  }
  into = into.first(static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), size - offset)));
  const ByteSource::Read r = file_->readAt(offset, into);
  if (!r.status) {
    status_ = r.status;
    return 0;
  }
  if (!lent_.empty() && into.data() >= lent_.data() && into.data() < lent_.data() + lent_.size())
    sink_->holds(lent_.data(), offset - static_cast<std::uint64_t>(into.data() - lent_.data()), offset + r.count);
  return r.count;
}

std::span<std::byte> ScanInput::windowMemory(std::size_t size) {
  lent_ = sink_ != nullptr ? sink_->lend(size) : std::span<std::byte>();
  if (!lent_.empty()) return lent_;
  if (window_.size() < size) window_.resize(size);
  return std::span(window_).first(size);
}

std::span<const std::byte> ScanInput::readFile(std::uint64_t offset, std::size_t count) {
  const std::uint64_t end = start_ + length_;
  const bool inside = offset >= start_ && offset <= end;
  // What the last block holds, or all it holds of the file's end.
  if (inside && (offset + count <= end || end >= file_->size()))
    return std::span(buffer_).subspan(static_cast<std::size_t>(offset - start_),
                                      static_cast<std::size_t>(std::min<std::uint64_t>(count, end - offset)));

  // The scan reads the file as long as it was when it opened, as the copy does.
  const std::uint64_t size = file_->size();
  if (offset >= size) return {};
  const bool onward = offset >= start_ && offset <= end + lastRead_;
  std::size_t want = onward && lastRead_ != 0 ? std::min(lastRead_ * 4, kLargestRead) : kFirstRead;
  want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(want, count), size - offset));
  // A scan that reads no further than its first block has nothing to tell.
  if (progress_ && lastRead_ != 0 && !progress_(offset, size)) {
    cancelled_ = true;
    return {};
  }
  if (buffer_.size() < want) buffer_.resize(want);
  const ByteSource::Read r = file_->readAt(offset, std::span(buffer_).first(want));
  start_ = offset;
  length_ = r.status ? r.count : 0;
  lastRead_ = want;
  if (!r.status) {
    status_ = r.status;
    return {};
  }
  return std::span(buffer_).first(std::min(count, length_));
}

std::span<const std::byte> ScanInput::readStream(std::uint64_t offset, std::size_t count) {
  if (offset < start_) {
    status_ = IoStatus::failure("the scan went back over what the stream had passed");
    return {};
  }
  while (start_ + length_ < offset + count && !ended_) {
    if (!readMore()) return {};
  }
  const std::uint64_t end = start_ + length_;
  if (offset >= end) return {};
  return std::span(buffer_).subspan(front_ + static_cast<std::size_t>(offset - start_),
                                    static_cast<std::size_t>(std::min<std::uint64_t>(count, end - offset)));
}

bool ScanInput::readMore() {
  if (buffer_.size() < front_ + length_ + kStreamRead) {
    // What was written out is dropped only once it is twice what is held, so
    // that each byte held is moved down half a time on average, not once a flush.
    if (front_ > 0 && front_ >= 2 * length_) {
      if (length_ > 0) std::memmove(buffer_.data(), buffer_.data() + front_, length_);
      front_ = 0;
    }
    if (buffer_.size() < front_ + length_ + kStreamRead) buffer_.resize(front_ + length_ + kStreamRead);
  }
  const ByteSource::Read r = in_->readSome(std::span(buffer_).subspan(front_ + length_, kStreamRead));
  if (!r.status) {
    status_ = r.status;
    return false;
  }
  length_ += r.count;
  ended_ = r.count == 0;
  return true;
}

void ScanInput::remember(std::span<const Patch> patches) {
  if (patches.size() > patchesSeen_) {
    pending_.insert(pending_.end(), patches.begin() + static_cast<std::ptrdiff_t>(patchesSeen_), patches.end());
    patchesSeen_ = patches.size();
  }
}

void ScanInput::pass(std::uint64_t offset, std::span<const Patch> patches) {
  if ((file_ != nullptr && sink_ == nullptr) || failed()) return;
  remember(patches);
  passed_ = std::max(passed_, offset);
  if (sink_ != nullptr) {
    if (passed_ - handedOver_ >= kStreamRead) handOver();
    return;
  }
  // Many small chunks are written out together, not one by one.
  if (passed_ > start_ + length_ || passed_ - start_ >= kStreamRead) flush();
}

IoStatus ScanInput::finish(std::span<const Patch> patches) {
  if ((file_ != nullptr && sink_ == nullptr) || failed()) return status_;
  remember(patches);
  if (sink_ != nullptr) {
    passed_ = file_->size();
    handOver();
    return status_;
  }
  passed_ = std::max(passed_, start_ + length_);
  flush();
  if (!failed() && std::any_of(pending_.begin(), pending_.end(),
                              [this](const Patch& p) { return p.offset + p.size > start_; }))
    status_ = IoStatus::failure("a patch lies past the end of the stream");
  return status_;
}

bool ScanInput::emit(std::span<std::byte> bytes, std::uint64_t offset) {
  applyPatches(bytes, offset, pending_);
  if (IoStatus s = out_->writeAll(bytes); !s) {
    status_ = s;
    outputFailed_ = true;
    return false;
  }
  written_ += bytes.size();
  const std::uint64_t end = offset + bytes.size();
  std::erase_if(pending_, [end](const Patch& p) { return p.offset + p.size <= end; });
  return true;
}

void ScanInput::handOver() {
  if (IoStatus s = sink_->passed(passed_, pending_); !s) {
    status_ = s;
    outputFailed_ = true;
  }
  pending_.clear();
  handedOver_ = passed_;
}

void ScanInput::flush() {
  // First what is held, up to the point passed...
  const std::size_t held =
      static_cast<std::size_t>(std::min<std::uint64_t>(passed_ - start_, length_));
  if (held > 0) {
    if (!emit(std::span(buffer_).subspan(front_, held), start_)) return;
    front_ += held;
    length_ -= held;
    start_ += held;
    if (length_ == 0) front_ = 0;
  }
  // ...then what the scan skips without reading, straight through.
  while (start_ < passed_ && !ended_) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(passed_ - start_, kStreamRead));
    if (buffer_.size() < want) buffer_.resize(want);
    const ByteSource::Read r = in_->readSome(std::span(buffer_).first(want));
    if (!r.status) {
      status_ = r.status;
      return;
    }
    ended_ = r.count == 0;
    if (!emit(std::span(buffer_).first(r.count), start_)) return;
    start_ += r.count;
  }
}

}  // namespace vellora
