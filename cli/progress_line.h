#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace vellora::cli {

// A percentage line for a long copy, redrawn in place on a terminal.
class ProgressLine {
 public:
  static constexpr std::uint64_t kLongCopy = std::uint64_t{256} << 20;

  // Draws nothing unless `terminal`, and nothing for copies up to kLongCopy.
  ProgressLine(std::ostream& out, std::string name, bool terminal);

  void show(std::uint64_t done, std::uint64_t total);
  // Ends a line that was drawn, also after a copy that stopped short.
  void finish();

 private:
  std::ostream& out_;
  std::string name_;
  bool terminal_;
  int shownPercent_ = -1;
};

}  // namespace vellora::cli
