#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shellfiles/io_status.h"

namespace vellora {

// Reads bytes by position. The chunk scan works on this, so the same code
// serves files, memory and the fuzzer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes that exist from `offset` on are copied into `into`; `count` says how
  // many, fewer than asked only at the end of the data.
  struct Read {
    std::size_t count = 0;
    IoStatus status;
  };
  virtual Read readAt(std::uint64_t offset, std::span<std::byte> into) = 0;
  virtual std::uint64_t size() const = 0;
};

// A regular file opened for reading only; its size is taken when it opens.
class InputFile : public ByteSource {};

// Told how far a copy has come; answers false to stop it, which then fails
// with IoStatus::cancelled().
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// A new file that takes the place of its target only on commit(); until then
// the target, if any, is untouched, and a file that is never committed leaves
// nothing behind.
class ReplacementFile {
 public:
  virtual ~ReplacementFile() = default;
  // Copies the whole of `source` as it was when it opened; fails when the
  // source changes length meanwhile. `progress`, when set, is told 0 before
  // anything is copied and then between steps.
  virtual IoStatus copyFrom(InputFile& source, const CopyProgress& progress) = 0;
  virtual IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
  enum class Existing { Replace, Keep };
  // With Existing::Keep, a target that appeared meanwhile makes the commit fail.
  virtual IoStatus commit(Existing existing = Existing::Replace) = 0;
  // Asks commit() to flush the file to disk before it takes its name, and
  // the directory after, so that a power cut leaves the old file or the new one.
  virtual void makeDurable() {}
  // How copyFrom() made the copy ("cloned", "kernel copy", "read/write"), for
  // the user who asks; empty when it was not told.
  virtual std::string copyMethod() const { return {}; }
};

// An existing regular file opened for reading and writing, for a change of a
// few bytes made in the file itself, without a copy.
class UpdatableFile : public InputFile {
 public:
  // One write: the bytes land together or not at all, short of a power cut.
  virtual IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
  // Flushes what was written to the disk.
  virtual IoStatus flush() = 0;
};

template <class File>
struct Opened {
  std::unique_ptr<File> file;
  IoStatus status;
};

// Modification time in nanoseconds; only the order of two times matters.
using FileTime = std::int64_t;

// The file services the core needs, on the system's own path strings
// (C:\temp\talk.wav). The platform layer maps them onto the host.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual Opened<InputFile> openInput(const std::string& path) = 0;
  // Fails when the target's directory is missing or read-only, or when the
  // target is read-only or not a regular file.
  virtual Opened<ReplacementFile> createReplacement(const std::string& path) = 0;
  // Fails when the file is missing, read-only or not a regular file.
  virtual Opened<UpdatableFile> openForUpdate(const std::string& path) {
    (void)path;
    return {nullptr, IoStatus::failure("files cannot be changed in place here")};
  }
  virtual bool exists(const std::string& path) = 0;
  // True when both paths name one existing host file (also through links).
  virtual bool sameFile(const std::string& a, const std::string& b) = 0;
  // Makes the directory and any missing parent, as mkdir -p does: a
  // directory already there is fine, a file of that name is not.
  virtual IoStatus makeDirectory(const std::string& path) = 0;
  // The ordinary files (no directories, no hidden files; links followed) of
  // a directory whose names match a pattern's last component, with "*" and
  // "?" as wildcards and case ignored: "C:\temp\*.wav". The names come
  // sorted without regard to case, names equal but for case in byte order.
  virtual IoStatus listFiles(const std::string& pattern, std::vector<std::string>& names) = 0;
  // nullopt when the time cannot be read.
  virtual std::optional<FileTime> modificationTime(const std::string& path) = 0;
  // The path made absolute against the current directory, drive included;
  // nullopt when it cannot be mapped.
  virtual std::optional<std::string> absolutePath(const std::string& path) = 0;
  // The bytes of a text file that other programs read (the header log, the
  // archive page) for the core's UTF-8 text: the system's 8-bit code page,
  // which on Linux is the locale's UTF-8 itself.
  virtual std::string fileText(std::string_view utf8) const { return std::string(utf8); }
};

}  // namespace vellora
