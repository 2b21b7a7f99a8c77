#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "shellfiles/file_system.h"
#include "speed/rate_plan.h"

namespace vellora {

// A stream that can be read once, from its start: standard input, a pipe.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // What is there, up to into.size() bytes; a count of 0 means the end.
  virtual ByteSource::Read readSome(std::span<std::byte> into) = 0;
};

// Where a converted stream goes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual IoStatus writeAll(std::span<const std::byte> bytes) = 0;
};

// Where a file's scan hands over what it has passed: the copy of the file
// up to `upTo`, which `patches` (each given once) hold every patch before.
class PatchSink {
 public:
  virtual ~PatchSink() = default;
  virtual IoStatus passed(std::uint64_t upTo, std::span<const Patch> patches) = 0;
  // Memory for the scan's next window over the file, which the copy may then
  // write from instead of reading the file again; empty when it lends none.
  virtual std::span<std::byte> lend(std::size_t) { return {}; }
  // The lent `block` holds the file's bytes from `offset` to `end`.
  virtual void holds(const std::byte* /*block*/, std::uint64_t /*offset*/, std::uint64_t /*end*/) {}
};

// The bytes `patches` put into the `bytes` that stand at `offset` of a file.
void applyPatches(std::span<std::byte> bytes, std::uint64_t offset, std::span<const Patch> patches);

// What a format's scan reads from: a file, read by position in large blocks
// (so that millions of tiny chunks cost a few reads, and progress can be told
// and the scan cancelled as a copy is), or a stream read once from its start,
// whose bytes go to the output as soon as the scan has passed them. A file's
// scan may hand over its patches as it passes them too, to a copy made
// beside it, so that memory stays flat however many patches there are.
class ScanInput {
 public:
  explicit ScanInput(ByteSource& file, CopyProgress progress = {});
  ScanInput(ByteStream& in, ByteSink& out);
  ScanInput(ByteSource& file, PatchSink& copy, CopyProgress progress = {});
  ScanInput(const ScanInput&) = delete;
  ScanInput& operator=(const ScanInput&) = delete;

  // Up to `count` bytes from `offset`, fewer only where the input ends; the
  // span lasts until the next call. Empty, with failed(), when the input
  // could not be read or the scan was cancelled.
  std::span<const std::byte> read(std::uint64_t offset, std::size_t count);
  // Up to into.size() bytes from `offset` of a file into `into`, read straight
  // there; how many, fewer only where the file ends (or on failed()). A
  // stream's scan views what it holds through read() instead.
  std::size_t readInto(std::uint64_t offset, std::span<std::byte> into);
  // Memory for a format's window over the file, `size` bytes, that lasts
  // until the next call: a file handed over gets a fresh block each time,
  // lent by its copy, which then writes from it what the scan has passed.
  std::span<std::byte> windowMemory(std::size_t size);
  // The file's length; a stream's is unknown (the largest number) until its end has been read.
  std::uint64_t size() const;

  // Whether pass() hands what was passed over: then the scan cannot go back
  // to change what it planned before.
  bool handsOver() const { return out_ != nullptr || sink_ != nullptr; }
  // The scan promises to read nothing before `offset` again, and that
  // `patches` hold every patch that will fall before it: a stream writes
  // those bytes out, patched, a file hands the patches over. Does nothing
  // for a file scanned alone.
  void pass(std::uint64_t offset, std::span<const Patch> patches);
  // The patches last given to pass() or finish() are held here now, and
  // the scan's next call starts a new list: a scan with a patch for every
  // frame keeps none of those it has passed.
  void patchesTaken() { patchesSeen_ = 0; }
  // A stream writes out all it has read so far, patched; the rest of it
  // can then be copied unchanged. A file hands over all its patches.
  IoStatus finish(std::span<const Patch> patches);

  bool failed() const { return cancelled_ || !status_; }
  bool cancelled() const { return cancelled_; }
  // Why reading (or a stream's writing) failed.
  const IoStatus& status() const { return status_; }
  bool outputFailed() const { return outputFailed_; }
  // How much of a stream has been written out.
  std::uint64_t written() const { return written_; }
  // The file being scanned, and what is told of the scan's progress; nullptr for a stream.
  ByteSource* file() const { return file_; }
  const CopyProgress& progress() const { return progress_; }

 private:
  std::span<const std::byte> readFile(std::uint64_t offset, std::size_t count);
  std::span<const std::byte> readStream(std::uint64_t offset, std::size_t count);
  bool readMore();
  void remember(std::span<const Patch> patches);
  void flush();
  void handOver();
  bool emit(std::span<std::byte> bytes, std::uint64_t offset);

  ByteSource* file_ = nullptr;
  CopyProgress progress_;
  ByteStream* in_ = nullptr;
  ByteSink* out_ = nullptr;
  PatchSink* sink_ = nullptr;

  std::vector<std::byte> buffer_;
  std::vector<std::byte> window_;  // windowMemory()'s, where no block is lent
  std::span<std::byte> lent_;
  std::uint64_t start_ = 0;    // the input offset of buffer_[0]
  std::size_t length_ = 0;     // how many bytes of buffer_ hold input
  std::size_t front_ = 0;      // a stream's: where in buffer_ the byte at start_ lies
  std::size_t lastRead_ = 0;   // how much the last read of a file asked for

  // What has been passed, and the patches not yet written out or handed over.
  std::uint64_t passed_ = 0;
  std::vector<Patch> pending_;
  std::size_t patchesSeen_ = 0;
  bool ended_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t handedOver_ = 0;  // a file's: how far its copy has been told

  IoStatus status_;
  bool cancelled_ = false;
  bool outputFailed_ = false;
};

}  // namespace vellora
