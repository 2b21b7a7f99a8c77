#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shellfiles/file_system.h"

namespace vellora {

// What the file systems of every platform decide alike; each supplies only
// what its system does its own way.

// What a platform found at a path.
struct PathFacts {
  enum class Kind { Missing, RegularFile, Directory, Other };
  Kind kind = Kind::Missing;
  bool readOnly = false;
  IoStatus status;  // a failure to look, for another reason than the path's absence
};

// Why a file of this kind cannot be read: a directory never, anything but a
// regular file not as a whole (a stream takes FIFOs and devices too).
enum class Reading { Whole, Streamed };
IoStatus checkReadable(PathFacts::Kind kind, Reading reading);

// Why no replacement can take `target`'s place in `directory`; success when
// one can. A target that cannot be looked at counts as missing.
IoStatus checkReplacementPlace(const PathFacts& target, const PathFacts& directory);

// Creates a hidden temporary file beside its target under a fresh name,
// ".vellora-OWNER-N.tmp", OWNER being the platform's mark of the process
// (hex digits and dashes), so that a later run can tell whether the process
// that made it is gone. `create` makes the file under the name it is given,
// and answers nullopt when that name is taken, so that the next is tried.
IoStatus createUnderFreshName(std::string_view owner,
                              const std::function<std::optional<IoStatus>(const std::string& name)>& create);

// The OWNER part of a temporary's name; nullopt for any other name.
std::optional<std::string_view> temporaryOwner(std::string_view name);

IoStatus targetExistsAlready();
IoStatus lengthChangedWhileCopied();

// A replacement's policy, the same everywhere: the copy with its progress
// and Cancel, the input's length checked after it, read failures told
// apart from write failures, and a commit that leaves either the new file
// in place or nothing.
class ReplacementSkeleton : public ReplacementFile {
 public:
  IoStatus copyFrom(InputFile& source, const CopyProgress& progress) final;
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) final;
  IoStatus commit(Existing existing) final;
  void makeDurable() final { durable_ = true; }
  std::string copyMethod() const final { return copyMethod_; }

 protected:
  // The system's own copy of the whole of `source` (`total` bytes), where it
  // has one for this source; nullopt, with nothing written, where it has
  // none, and the skeleton copies by reads and writes. `progress`, when set,
  // is told between steps and may stop the copy.
  virtual std::optional<IoStatus> copyBySystem(InputFile& source, std::uint64_t total,
                                               const CopyProgress& progress) = 0;
  // Writes all of `bytes` at `offset` of the copy; past its end leaves a gap of zeros.
  virtual IoStatus writeBytes(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
  // Gives the finished copy the target's name, flushed to disk and closed
  // first (flushed only when `durable`), so that a late write error leaves
  // nothing named; on failure the skeleton discards it, unless the failure
  // came after it took its name (IoStatus::inPlace).
  virtual IoStatus putInPlace(Existing existing, bool durable) = 0;
  // Removes the copy; platforms call it from their destructors too, unless committed().
  virtual void discard() = 0;

  bool committed() const { return committed_; }
  void copiedBy(std::string method) { copyMethod_ = std::move(method); }
  // Copies the rest of `source` from `from` on by reads and writes, which
  // tell a failure to read apart from a failure to write; a system's copy
  // that does not say which side failed it hands over to this.
  IoStatus copyByReadAndWrite(InputFile& source, std::uint64_t from, std::uint64_t total,
                              const CopyProgress& progress);

 private:

  bool committed_ = false;
  bool durable_ = false;
  std::string copyMethod_;
};

}  // namespace vellora
