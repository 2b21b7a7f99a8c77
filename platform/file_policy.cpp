#include "platform/file_policy.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <vector>

namespace vellora {
namespace {

// A copy's buffer, and the most it reads at once: large enough for any
// disk's pace, small enough for Cancel to act within a moment.
constexpr std::size_t kCopyStep = std::size_t{1} << 20;

bool stopAsked(const CopyProgress& progress, std::uint64_t done, std::uint64_t total) {
  return progress && !progress(done, total);
}

// The source must still be as long as when it opened: neither shorter
// (the copy would lack its end) nor longer (it would lack the rest).
IoStatus checkLengthAfterCopy(InputFile& source, std::uint64_t total) {
  std::array<std::byte, 2> probe{};
  const std::uint64_t from = total == 0 ? 0 : total - 1;
  const ByteSource::Read r = source.readAt(from, std::span(probe).first(total == 0 ? 1 : 2));
  if (!r.status) return IoStatus::readFailure(r.status.reason());
  const std::uint64_t reaches = from + r.count;
  if (reaches < total) return IoStatus::failure("the input got shorter while it was being copied");
  if (reaches > total) return lengthChangedWhileCopied();
  return {};
}

constexpr std::string_view kTemporaryPrefix = ".vellora-", kTemporarySuffix = ".tmp";

std::string temporaryName(std::string_view owner, unsigned serial) {
  char number[16];
  std::snprintf(number, sizeof number, "-%x", serial);
  return std::string(kTemporaryPrefix).append(owner).append(number).append(kTemporarySuffix);
}

}  // namespace

IoStatus checkReadable(PathFacts::Kind kind, Reading reading) {
  if (kind == PathFacts::Kind::Directory) return IoStatus::failure("it is a directory");
  if (kind == PathFacts::Kind::Other && reading == Reading::Whole)
    return IoStatus::failure("it is not a regular file");
  return {};
}

IoStatus checkReplacementPlace(const PathFacts& target, const PathFacts& directory) {
  if (target.kind == PathFacts::Kind::Directory) return IoStatus::failure("it is a directory");
  if (target.kind == PathFacts::Kind::Other) return IoStatus::failure("it is not a regular file");
  if (target.kind == PathFacts::Kind::RegularFile && target.readOnly)
    return IoStatus::failure("the file is read-only");
  if (!directory.status) return directory.status;
  if (directory.kind == PathFacts::Kind::Missing) return IoStatus::failure("its directory does not exist");
  if (directory.kind != PathFacts::Kind::Directory) return IoStatus::failure("its directory is not a directory");
  if (directory.readOnly) return IoStatus::failure("its directory is read-only");
  return {};
}

IoStatus createUnderFreshName(std::string_view owner,
                              const std::function<std::optional<IoStatus>(const std::string& name)>& create) {
  // One process's names differ by their serial; another process's by their owner.
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt)
    if (std::optional<IoStatus> made = create(temporaryName(owner, serial++))) return *made;
  return IoStatus::failure("could not create a temporary file");
}

std::optional<std::string_view> temporaryOwner(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return std::nullopt;
  name.remove_prefix(kTemporaryPrefix.size());
  name.remove_suffix(kTemporarySuffix.size());
  const std::size_t serial = name.rfind('-');
  if (serial == std::string_view::npos || serial == 0) return std::nullopt;
  return name.substr(0, serial);
}

IoStatus targetExistsAlready() { return IoStatus::failure("the file exists already"); }

IoStatus lengthChangedWhileCopied() {
  return IoStatus::failure("the input changed length while it was being copied");
}

IoStatus ReplacementSkeleton::copyFrom(InputFile& source, const CopyProgress& progress) {
  const std::uint64_t total = source.size();
  std::uint64_t told = 0;
  CopyProgress telling;
  if (progress)
    telling = [&](std::uint64_t done, std::uint64_t all) {
      told = done;
      return progress(done, all);
    };
  if (stopAsked(telling, 0, total)) return IoStatus::cancelled();
  const std::optional<IoStatus> bySystem = copyBySystem(source, total, telling);
  if (!bySystem) copiedBy("read/write");
  if (IoStatus copied = bySystem ? *bySystem : copyByReadAndWrite(source, 0, total, telling); !copied)
    return copied;
  if (IoStatus same = checkLengthAfterCopy(source, total); !same) return same;
  // Not every system's copy tells how far it came (a clone, Wine's CopyFileExW): the end always is.
  if (told != total && stopAsked(telling, total, total)) return IoStatus::cancelled();
  return {};
}

IoStatus ReplacementSkeleton::copyByReadAndWrite(InputFile& source, std::uint64_t from, std::uint64_t total,
                                                 const CopyProgress& progress) {
  std::vector<std::byte> buffer(kCopyStep);
  for (std::uint64_t done = from; done < total;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), total - done));
    const ByteSource::Read r = source.readAt(done, std::span(buffer.data(), want));
    if (!r.status) return IoStatus::readFailure(r.status.reason());
    if (r.count == 0) break;  // it got shorter, which the check after the copy says
    if (IoStatus s = writeBytes(done, std::span(buffer.data(), r.count)); !s) return s;
    done += r.count;
    if (stopAsked(progress, done, total)) return IoStatus::cancelled();
  }
  return {};
}

IoStatus ReplacementSkeleton::writeAt(std::uint64_t offset, std::span<const std::byte> bytes) {
  return writeBytes(offset, bytes);
}

IoStatus ReplacementSkeleton::commit(Existing existing) {
  if (committed_) return {};
  committed_ = true;
  IoStatus placed = putInPlace(existing, durable_);
  if (!placed && !placed.inPlace()) discard();
  return placed;
}

}  // namespace vellora
