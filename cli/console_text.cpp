#include "cli/console_text.h"

#include <span>

namespace vellora::cli {

ConsoleText::Buffer::Buffer(StreamEnd& end) : end_(end) { setp(bytes_.data(), bytes_.data() + bytes_.size()); }

bool ConsoleText::Buffer::drain() {
  const std::span<const char> pending(pbase(), pptr());
  setp(bytes_.data(), bytes_.data() + bytes_.size());
  if (status && !pending.empty()) status = end_.writeAll(std::as_bytes(pending));
  return status.ok();
}

ConsoleText::Buffer::int_type ConsoleText::Buffer::overflow(int_type c) {
  const bool drained = drain();
  if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
  return drained ? traits_type::not_eof(c) : traits_type::eof();
}

int ConsoleText::Buffer::sync() { return drain() ? 0 : -1; }

ConsoleText::ConsoleText(StreamEnd& stream, bool eachWrite) : std::ostream(nullptr), buffer_(stream) {
  rdbuf(&buffer_);
  if (eachWrite) setf(std::ios::unitbuf);
}

ConsoleText::~ConsoleText() { buffer_.pubsync(); }

IoStatus ConsoleText::finish() {
  buffer_.pubsync();
  return buffer_.status;
}

}  // namespace vellora::cli
