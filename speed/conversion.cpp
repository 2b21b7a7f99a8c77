#include "speed/conversion.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "speed/audio_format.h"
#include "speed/format_table.h"
#include "speed/scan_input.h"

namespace vellora {

void JobError::record(JobFailure f, std::string p, std::string r) {
  failure = f;
  path = std::move(p);
  reason = std::move(r);
}

namespace {

// A file fails whole; a stream may have written what came before the failure.
std::string writtenTail(const JobError& error) {
  if (error.written == 0) return "Nothing was written.";
  return "Only the first " + std::to_string(error.written) + " bytes were written.";
}

}  // namespace

std::string message(const JobError& error) {
  switch (error.failure) {
    case JobFailure::None:
    case JobFailure::Cancelled: return {};
    case JobFailure::SameFile:
      return "The output " + error.path +
             " is the input file itself. Choose another output directory; nothing was changed.";
    case JobFailure::InputUnreadable: return "Could not read " + error.path + ": " + error.reason;
    case JobFailure::OutputUnwritable: return "Could not write " + error.path + ": " + error.reason;
    case JobFailure::NotFlushed:
      return "Wrote " + error.path + ", but could not flush its directory to disk (" + error.reason +
             "): the copy is in place but may not survive a power cut.";
    case JobFailure::UnknownFormat:
      return error.path + " is not a recording Vellora knows: " + error.reason + ". " + writtenTail(error);
    case JobFailure::NoFormatChunk:
      return "Found no format chunk in " + error.path + ": " + error.reason +
             ". " + writtenTail(error);
    case JobFailure::Unsupported:
      return error.path + " is not a format whose speed Vellora can change without re-encoding: " +
             error.reason + ". " + writtenTail(error);
    case JobFailure::Malformed:
    case JobFailure::RateOutOfRange:
      return "Could not change the speed of " + error.path + ": " + error.reason +
             ". " + writtenTail(error);
    case JobFailure::NotInPlace:
      return "Could not change " + error.path + " in place: " + error.reason + ". " + writtenTail(error);
    case JobFailure::NotStreamable:
      return "Could not convert " + error.path + " as a stream: " + error.reason + ". " + writtenTail(error);
  }
  return {};
}

void recordPlanFailure(const RatePlan& plan, const std::string& input, JobError& error) {
  switch (plan.failure) {
    case PlanFailure::None: return;
    case PlanFailure::ReadFailed: error.record(JobFailure::InputUnreadable, input, plan.readStatus.reason()); return;
    case PlanFailure::Cancelled: error.record(JobFailure::Cancelled, input, {}); return;
    case PlanFailure::UnknownFormat: error.record(JobFailure::UnknownFormat, input, plan.reason); return;
    case PlanFailure::NotRecognised: error.record(JobFailure::NoFormatChunk, input, plan.reason); return;
    case PlanFailure::NotStreamable: error.record(JobFailure::NotStreamable, input, plan.reason); return;
    case PlanFailure::Unsupported: error.record(JobFailure::Unsupported, input, plan.reason); return;
    case PlanFailure::Malformed: error.record(JobFailure::Malformed, input, plan.reason); return;
    case PlanFailure::RateOutOfRange: error.record(JobFailure::RateOutOfRange, input, plan.reason); return;
  }
}

namespace {

// The scan and the copy told as one run: the scan as if it were the first
// half, the copy as what follows as far as the scan read.
class TwoStepProgress {
 public:
  explicit TwoStepProgress(const CopyProgress& progress) : progress_(progress) {}
  CopyProgress scan() {
    if (!progress_) return {};
    return [this](std::uint64_t done, std::uint64_t total) {
      scanned_ = std::max(scanned_, done);
      return progress_(done, 2 * total);
    };
  }
  CopyProgress copy() {
    if (!progress_) return {};
    return [this](std::uint64_t done, std::uint64_t total) { return progress_(scanned_ + done, scanned_ + total); };
  }

 private:
  const CopyProgress& progress_;
  std::uint64_t scanned_ = 0;
};

bool samePatches(const std::vector<Patch>& a, const std::vector<Patch>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Patch& x, const Patch& y) {
    return x.offset == y.offset && std::ranges::equal(x.view(), y.view());
  });
}

IoStatus writePatches(ReplacementFile& out, const std::vector<Patch>& patches) {
  for (const Patch& patch : patches)
    if (IoStatus s = out.writeAt(patch.offset, patch.view()); !s) return s;
  return {};
}

// Past this many patches (a FLAC file has two a frame, half a million in
// 1 GiB), a write each after the kernel's copy costs several times the copy;
// the copy then reads the input in large blocks and writes each block with
// its patches in it, which costs what cp does.
constexpr std::size_t kManyPatches = 256;

// Why a copy failed, as the job's error: the user's Cancel, the input, or the output.
void recordCopyFailure(const IoStatus& copied, const ConversionRequest& request, JobError& error) {
  if (copied.wasCancelled())
    error.record(JobFailure::Cancelled, request.output, {});
  else if (copied.whileReading())
    error.record(JobFailure::InputUnreadable, request.input, copied.reason());
  else
    error.record(JobFailure::OutputUnwritable, request.output, copied.reason());
}

// The copy of a file whose scan hands over its patches as it passes them:
// a thread of its own writes a few MiB behind the scan, with the patches put
// in, from the blocks it lent the scan for its window (reading only what no
// window held), so that each byte is read once and written once through
// user space, as cp's are, and the scan's thread only reads and checks.
class PatchedCopy final : public PatchSink {
 public:
  PatchedCopy(InputFile& input, ReplacementFile& copy) : input_(input), copy_(copy), thread_([this] { run(); }) {}
  ~PatchedCopy() override { (void)finish(); }
  PatchedCopy(const PatchedCopy&) = delete;
  PatchedCopy& operator=(const PatchedCopy&) = delete;

  IoStatus passed(std::uint64_t upTo, std::span<const Patch> patches) override {
    std::unique_lock lock(mutex_);
    // The scan runs no further ahead than this, so the blocks and patches held stay few.
    room_.wait(lock, [this] { return passed_ - done_ < kAhead || !status_; });
    if (!status_) return status_;
    pending_.insert(pending_.end(), patches.begin(), patches.end());
    passed_ = std::max(passed_, upTo);
    ready_.notify_one();
    return {};
  }

  std::span<std::byte> lend(std::size_t size) override {
    std::lock_guard lock(mutex_);
    // A block lent before that came to hold nothing is lent again.
    if (!lent_ && !spare_.empty()) {
      lent_ = std::move(spare_.back());
      spare_.pop_back();
    }
    if (!lent_) lent_ = std::make_unique<Block>();
    lent_->bytes.resize(size);
    return lent_->bytes;
  }

  void holds(const std::byte* block, std::uint64_t offset, std::uint64_t end) override {
    std::lock_guard lock(mutex_);
    if (lent_ && lent_->bytes.data() == block) {
      lent_->offset = offset;
      held_.push_back(std::move(lent_));
    }
    if (!held_.empty() && held_.back()->bytes.data() == block) held_.back()->end = end;
  }

  // Waits for the copy of all that was passed; the first failure.
  IoStatus finish() {
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable()) thread_.join();
    return status_;
  }

  // Stops the copy where it is, as when the scan failed.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      if (status_) status_ = IoStatus::cancelled();
    }
    ready_.notify_one();
    room_.notify_one();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  static constexpr std::uint64_t kAhead = std::uint64_t{1} << 20;
  struct Block {
    std::vector<std::byte> bytes;
    std::uint64_t offset = 0;  // of the file's byte at bytes[0]
    std::uint64_t end = 0;     // of the first byte after those it holds
  };

  void run() {
    std::vector<std::byte> read;
    std::vector<Patch> patches;
    std::unique_lock lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return passed_ > done_ || ended_ || !status_; });
      if (!status_ || passed_ == done_) return;
      const std::uint64_t from = done_;
      // A block is the scan's no more once the copy has passed it, as the scan had.
      while (!held_.empty() && held_.front()->end <= from) {
        spare_.push_back(std::move(held_.front()));
        held_.pop_front();
      }
      std::uint64_t to = std::min<std::uint64_t>(passed_, from + kBlock);
      std::span<std::byte> bytes;
      const bool inBlock = !held_.empty() && held_.front()->offset <= from;
      if (inBlock) {
        Block& block = *held_.front();
        to = std::min(to, block.end);
        bytes = std::span(block.bytes).subspan(static_cast<std::size_t>(from - block.offset),
                                               static_cast<std::size_t>(to - from));
      } else {
        if (!held_.empty()) to = std::min(to, held_.front()->offset);
        read.resize(static_cast<std::size_t>(to - from));
        bytes = read;
      }
      // Patches come in order: those that start before `to` are this piece's,
      // and one that runs on past it is kept for the next.
      auto last = std::find_if(pending_.begin(), pending_.end(), [to](const Patch& p) { return p.offset >= to; });
      patches.assign(pending_.begin(), last);
      pending_.erase(pending_.begin(), std::find_if(pending_.begin(), last,
                                                    [to](const Patch& p) { return p.offset + p.size > to; }));
      lock.unlock();
      const IoStatus written = copyPiece(from, bytes, !inBlock, patches);
      lock.lock();
      done_ = to;
      if (!written && status_) status_ = written;
      room_.notify_one();
    }
  }

  IoStatus copyPiece(std::uint64_t from, std::span<std::byte> bytes, bool readFirst, std::span<const Patch> patches) {
    if (readFirst) {
      const ByteSource::Read r = input_.readAt(from, bytes);
      if (!r.status) return IoStatus::readFailure(r.status.reason());
      if (r.count < bytes.size()) return IoStatus::readFailure("the input got shorter while it was being copied");
    }
    applyPatches(bytes, from, patches);
    return copy_.writeAt(from, bytes);
  }

  InputFile& input_;
  ReplacementFile& copy_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::vector<Patch> pending_;
  std::unique_ptr<Block> lent_;                // the scan's window, until it holds what was read into it
  std::deque<std::unique_ptr<Block>> held_;    // windows the scan read, in order, not yet all written
  std::vector<std::unique_ptr<Block>> spare_;
  std::uint64_t passed_ = 0;  // what the scan has passed, and the copy may write
  std::uint64_t done_ = 0;    // what the copy has written
  bool ended_ = false;
  IoStatus status_;
  std::thread thread_;  // last, so that it starts once the rest is ready
};

// A format whose every part changes but that streams (FLAC) converts in one
// pass: the scan hands its patches over as it goes to a copy made beside it,
// and memory stays flat however long the file. The copy takes its name only
// once all of it has been checked. nullopt when the scan refused what a plan
// of the whole file may still convert (a FLAC file whose frames would change
// form), which the two-step conversion then tries.
std::optional<Conversion> convertInOnePass(InputFile& input, ReplacementFile& output, const ConversionRequest& request) {
  Conversion result;
  PatchedCopy copy(input, output);
  ScanInput scan(input, copy, request.progress);
  result.plan = planRateChange(scan, request.change());
  if (result.plan.failure == PlanFailure::RateOutOfRange || result.plan.failure == PlanFailure::Unsupported)
    return std::nullopt;
  result.copyMethod = "read/write beside the scan, patched on the way";
  if (result.plan.ok()) scan.finish(result.plan.patches);
  else copy.stop();
  const IoStatus written = copy.finish();
  // A failed copy makes the scan fail too, for the copy's reason.
  if (scan.outputFailed())
    recordCopyFailure(scan.status(), request, result.error);
  else if (!result.plan.ok())
    recordPlanFailure(result.plan, request.input, result.error);
  else if (!written)
    recordCopyFailure(written, request, result.error);
  return result;
}

// The finished copy takes its name, flushed first where asked.
void putInPlace(ReplacementFile& output, const ConversionRequest& request, JobError& error) {
  if (request.durable) output.makeDurable();
  if (IoStatus c = output.commit(request.existing); !c)
    error.record(c.inPlace() ? JobFailure::NotFlushed : JobFailure::OutputUnwritable, request.output, c.reason());
}

// A format whose scan reads the whole file (Ogg, WavPack): the copy, in the
// system's own way, goes on while a second thread scans, and the few patches
// follow once both are done, so the conversion takes about the longer of the
// two rather than both. The copy tells the progress and takes Cancel, which
// stops the scan too; a failed scan stops the copy, which is then discarded.
Conversion convertSideBySide(InputFile& input, ReplacementFile& output,
                                            const ConversionRequest& request) {
  Conversion result;
  std::atomic<bool> stop{false};
  std::thread scanner([&] {
    result.plan = planRateChange(input, request.change(), [&stop](std::uint64_t, std::uint64_t) { return !stop; });
    if (!result.plan.ok()) stop = true;
  });
  const CopyProgress& progress = request.progress;
  const IoStatus copied = output.copyFrom(input, [&](std::uint64_t done, std::uint64_t total) {
    const bool goOn = !stop && (!progress || progress(done, total));
    if (!goOn) stop = true;
    return goOn;
  });
  if (!copied) stop = true;
  scanner.join();
  result.copyMethod = output.copyMethod().empty() ? "" : output.copyMethod() + ", beside the scan";
  if (!result.plan.ok() && !(result.plan.failure == PlanFailure::Cancelled && !copied)) {
    recordPlanFailure(result.plan, request.input, result.error);
    if (result.plan.beforeFailedCopy) result.plan.before = *result.plan.beforeFailedCopy;
  } else if (!copied) {
    recordCopyFailure(copied, request, result.error);
  } else if (IoStatus s = writePatches(output, result.plan.patches); !s) {
    result.error.record(JobFailure::OutputUnwritable, request.output, s.reason());
  }
  if (result.error) result.plan.patches.clear();
  return result;
}

// What a dry run hands its patches to.
class DiscardedPatches final : public PatchSink {
 public:
  IoStatus passed(std::uint64_t, std::span<const Patch>) override { return {}; }
};

bool convertsInOnePass(const FormatKind* kind) {
  return kind != nullptr && kind->scan != nullptr && kind->streams && !kind->inPlace;
}

}  // namespace

IoStatus copyPatched(InputFile& input, ReplacementFile& output, const std::vector<Patch>& patches,
                     const CopyProgress& progress, std::size_t blockSize) {
  const std::uint64_t total = input.size();
  if (progress && !progress(0, total)) return IoStatus::cancelled();
  std::vector<std::byte> block(static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, total)));
  auto next = patches.begin();
  for (std::uint64_t done = 0; done < total;) {
    const std::span<std::byte> bytes =
        std::span(block).first(static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), total - done)));
    const ByteSource::Read r = input.readAt(done, bytes);
    if (!r.status) return IoStatus::readFailure(r.status.reason());
    if (r.count < bytes.size()) return IoStatus::readFailure("the input got shorter while it was being copied");
    const std::uint64_t end = done + bytes.size();
    auto last = next;
    while (last != patches.end() && last->offset < end) ++last;
    applyPatches(bytes, done, std::span(next, last));
    // A patch that runs on into the next block is applied there again.
    next = last != next && std::prev(last)->offset + std::prev(last)->size > end ? std::prev(last) : last;
    if (IoStatus s = output.writeAt(done, bytes); !s) return s;
    done = end;
    if (progress && !progress(done, total)) return IoStatus::cancelled();
  }
  return {};
}

Conversion planFile(FileSystem& files, const std::string& input, const RateChange& change) {
  Conversion result;
  Opened<InputFile> opened = files.openInput(input);
  if (!opened.status) {
    result.error.record(JobFailure::InputUnreadable, input, opened.status.reason());
    return result;
  }
  // A dry run of a format with patches all through it counts them as it
  // goes, and keeps none, as its conversion does.
  if (convertsInOnePass(recognise(*opened.file))) {
    DiscardedPatches discarded;
    ScanInput scan(*opened.file, discarded);
    result.plan = planRateChange(scan, change);
    if (result.plan.failure != PlanFailure::RateOutOfRange && result.plan.failure != PlanFailure::Unsupported) {
      recordPlanFailure(result.plan, input, result.error);
      return result;
    }
  }
  result.plan = planRateChange(*opened.file, change);
  recordPlanFailure(result.plan, input, result.error);
  return result;
}

Conversion convert(FileSystem& files, const ConversionRequest& request) {
  Conversion result;
  JobError& error = result.error;

  if (files.sameFile(request.input, request.output)) {
    error.record(JobFailure::SameFile, request.output, {});
    return result;
  }

  Opened<InputFile> input = files.openInput(request.input);
  if (!input.status) {
    error.record(JobFailure::InputUnreadable, request.input, input.status.reason());
    return result;
  }

  const FormatKind* kind = recognise(*input.file);
  if (kind != nullptr && kind->scan != nullptr && kind->scansWhole) {
    Opened<ReplacementFile> output = files.createReplacement(request.output);
    if (output.status) {
      result = convertSideBySide(*input.file, *output.file, request);
      if (!error) putInPlace(*output.file, request, error);
      return result;
    }
  }
  if (convertsInOnePass(kind)) {
    Opened<ReplacementFile> output = files.createReplacement(request.output);
    if (!output.status) {
      error.record(JobFailure::OutputUnwritable, request.output, output.status.reason());
      return result;
    }
    if (std::optional<Conversion> done = convertInOnePass(*input.file, *output.file, request)) {
      result = std::move(*done);
      if (!error) putInPlace(*output.file, request, error);
      return result;
    }
  }

  // The header decides before anything is copied: a file with nothing to
  // patch costs no copy and no space.
  TwoStepProgress progress(request.progress);
  result.plan = planRateChange(*input.file, request.change(), progress.scan());
  recordPlanFailure(result.plan, request.input, error);
  if (error) return result;

  Opened<ReplacementFile> output = files.createReplacement(request.output);
  const bool patchedOnTheWay = result.plan.patches.size() > kManyPatches;
  if (!output.status) {
    error.record(JobFailure::OutputUnwritable, request.output, output.status.reason());
  } else if (IoStatus s = patchedOnTheWay
                              ? copyPatched(*input.file, *output.file, result.plan.patches, progress.copy())
                              : output.file->copyFrom(*input.file, progress.copy());
             !s) {
    recordCopyFailure(s, request, error);
  }
  if (output.file) result.copyMethod = patchedOnTheWay ? "read/write, patched on the way" : output.file->copyMethod();
  if (error) {
    if (result.plan.beforeFailedCopy) result.plan.before = *result.plan.beforeFailedCopy;
    result.plan.patches.clear();
    return result;
  }

  if (IoStatus s = patchedOnTheWay ? IoStatus{} : writePatches(*output.file, result.plan.patches); !s)
    error.record(JobFailure::OutputUnwritable, request.output, s.reason());
  else
    putInPlace(*output.file, request, error);
  return result;
}

Conversion changeInPlace(FileSystem& files, const InPlaceRequest& request) {
  Conversion result;
  JobError& error = result.error;
  Opened<UpdatableFile> file = files.openForUpdate(request.path);
  if (!file.status) {
    error.record(files.exists(request.path) ? JobFailure::OutputUnwritable : JobFailure::InputUnreadable,
                 request.path, file.status.reason());
    return result;
  }
  // Known before the scan reads on: some formats' changes are never a few bytes.
  if (const FormatKind* kind = recognise(*file.file); kind != nullptr && kind->scan != nullptr && !kind->inPlace) {
    result.plan.format = kind->format;
    error.record(JobFailure::NotInPlace, request.path, std::string(kind->whyWhole) + "; convert it into a copy instead");
    return result;
  }
  result.plan = planRateChange(*file.file, request.change);
  recordPlanFailure(result.plan, request.path, error);
  if (error) return result;

  const std::vector<Patch>& patches = result.plan.patches;
  if (patches.empty()) return result;
  const std::uint64_t from = patches.front().offset;
  const std::uint64_t to = patches.back().offset + patches.back().size;
  if (from / kInPlaceBlock != (to - 1) / kInPlaceBlock) {
    error.record(JobFailure::NotInPlace, request.path,
                 "its changes span bytes " + std::to_string(from) + ".." + std::to_string(to - 1) +
                     ", more than one 512-byte sector, which a power cut could leave half-written; "
                     "convert it into a copy instead");
    return result;
  }
  if (!request.write) return result;

  // Whatever changed the file since it was planned must not be overwritten by an old plan.
  if (!samePatches(planRateChange(*file.file, request.change).patches, patches)) {
    error.record(JobFailure::NotInPlace, request.path, "it changed while it was being read");
    return result;
  }
  std::vector<std::byte> block(static_cast<std::size_t>(to - from));
  const ByteSource::Read r = file.file->readAt(from, block);
  if (!r.status || r.count != block.size()) {
    error.record(JobFailure::InputUnreadable, request.path,
                 r.status ? "it got shorter while it was being read" : r.status.reason());
    return result;
  }
  applyPatches(block, from, patches);
  if (IoStatus s = file.file->writeAt(from, block); !s) {
    error.record(JobFailure::OutputUnwritable, request.path, s.reason());
  } else if (request.durable) {
    if (IoStatus f = file.file->flush(); !f)
      error.record(JobFailure::OutputUnwritable, request.path,
                   "the change was written but may not survive a power cut: " + f.reason());
  }
  return result;
}

}  // namespace vellora
