#include "cli/progress_line.h"

#include <utility>

namespace vellora::cli {

ProgressLine::ProgressLine(std::ostream& out, std::string name, bool terminal)
    : out_(out), name_(std::move(name)), terminal_(terminal) {}

void ProgressLine::show(std::uint64_t done, std::uint64_t total) {
  if (!terminal_ || total <= kLongCopy) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  out_ << "\rcopying " << name_ << ": " << percent << '%' << std::flush;
}

void ProgressLine::finish() {
  if (shownPercent_ < 0) return;
  out_ << '\n' << std::flush;
  shownPercent_ = -1;
}

}  // namespace vellora::cli
