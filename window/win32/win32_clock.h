#pragma once

#include "shellfiles/clock.h"

namespace vellora {

// The user's short date and time with seconds, from Windows' locale.
class Win32Clock : public Clock {
 public:
  std::string presentDateTime() override;
  std::int64_t steadyMilliseconds() override;
};

}  // namespace vellora
