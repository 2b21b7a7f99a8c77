#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "shellfiles/file_system.h"

namespace vellora {

// One end of a byte stream as the host has it: a standard stream of the
// process, or a file opened to be streamed from.
class StreamEnd {
 public:
  virtual ~StreamEnd() = default;

  // Reads what is there, up to the room of `into`; a count of 0 without a
  // failure is the end of the stream.
  virtual ByteSource::Read readSome(std::span<std::byte> into) = 0;
  virtual IoStatus writeAll(std::span<const std::byte> bytes) = 0;
  virtual bool isTerminal() const = 0;
  // A standard stream that was closed when the program started; it reads
  // and writes the null device since, so that no file took its place.
  virtual bool wasClosed() const = 0;
  // What is left to read of a regular file; nullopt for anything else.
  virtual std::optional<std::uint64_t> regularFileRest() const = 0;
  // True when both ends are open on one regular file.
  virtual bool sameFileAs(const StreamEnd& other) const = 0;
  // Puts a regular file written through this end back to the length it had
  // when the program started. It is never removed, even when empty: it may
  // be another user's, or a log a script appends to. Anything else is left as
  // it is. True when what was written is gone.
  virtual bool undoWrites() = 0;
};

// How a stream's rest went over, and which end failed if one did.
struct StreamMove {
  IoStatus status;
  bool inputFailed = false;
  std::string method;  // "kernel copy", "splice" or "read/write"
};

// The host's own parts as the command line names them in its help and
// messages; each platform describes itself.
struct HostWords {
  // The default output directory, as it lies on the host.
  std::string defaultOutputDirectory;
  // What --play hands each copy to.
  std::string player;
  // Said when no player could be started.
  std::string noPlayerHint;
  // Where to read more; empty where there is nothing to point to.
  std::string moreHelp;
};

// The program's standard streams and the files it streams from.
class Console {
 public:
  Console(std::unique_ptr<StreamEnd> input, std::unique_ptr<StreamEnd> output,
          std::unique_ptr<StreamEnd> error)
      : input_(std::move(input)), output_(std::move(output)), error_(std::move(error)) {}
  virtual ~Console() = default;
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  StreamEnd& input() { return *input_; }
  StreamEnd& output() { return *output_; }
  StreamEnd& error() { return *error_; }
  // A file, by the host path the user typed, opened to be streamed from.
  virtual Opened<StreamEnd> openForReading(const std::string& hostPath) = 0;
  // Moves the rest of `from` to `to` inside the system where it can, no
  // more than `limit` bytes when there is one; nullopt, with nothing moved,
  // where it cannot at these two ends.
  virtual std::optional<StreamMove> moveInSystem(StreamEnd& from, StreamEnd& to,
                                                 std::optional<std::uint64_t> limit) = 0;
  virtual const HostWords& words() const = 0;

 private:
  std::unique_ptr<StreamEnd> input_, output_, error_;
};

// The host's console. Made first in main(): a standard stream that is
// closed gets the null device, before any file the program opens could take
// its place.
std::unique_ptr<Console> openConsole();

}  // namespace vellora
