#pragma once

#include <array>
#include <ostream>
#include <streambuf>

#include "platform/console.h"

namespace vellora::cli {

// Text for one of the console's streams, written through the console. The
// first failure to write is kept, and nothing is written after it.
class ConsoleText final : public std::ostream {
 public:
  // Buffered unless `eachWrite`, which hands on every piece as it comes.
  ConsoleText(StreamEnd& stream, bool eachWrite);
  ~ConsoleText() override;

  // Writes what is buffered and says whether everything so far reached the stream.
  IoStatus finish();

 private:
  class Buffer final : public std::streambuf {
   public:
    explicit Buffer(StreamEnd& end);
    IoStatus status;

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    bool drain();
    StreamEnd& end_;
    std::array<char, 4096> bytes_;
  };
  Buffer buffer_;
};

}  // namespace vellora::cli
