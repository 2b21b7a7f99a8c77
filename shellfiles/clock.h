#pragma once

#include <cstdint>
#include <string>

namespace vellora {

// The present date and time as the user writes them: short date, a blank,
// the time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::string presentDateTime() = 0;
  // Milliseconds from some fixed start that never goes back; only the
  // difference of two readings means anything.
  virtual std::int64_t steadyMilliseconds() = 0;
};

}  // namespace vellora
