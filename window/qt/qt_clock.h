#pragma once

#include <QDateTime>
#include <QLocale>
#include <cstdint>
#include <functional>

#include "shellfiles/clock.h"

namespace vellora {

// The date and time in the user's locale: the short date, a blank and the
// time with its seconds. The sources of both times can be fixed for tests.
class QtClock : public Clock {
 public:
  explicit QtClock(std::function<QDateTime()> now = &QDateTime::currentDateTime,
                   QLocale locale = QLocale::system(),
                   std::function<std::int64_t()> steady = &systemSteadyMilliseconds)
      : now_(std::move(now)), locale_(std::move(locale)), steady_(std::move(steady)) {}

  std::string presentDateTime() override;
  std::int64_t steadyMilliseconds() override { return steady_(); }

  // The system's monotonic clock.
  static std::int64_t systemSteadyMilliseconds();

 private:
  std::function<QDateTime()> now_;
  QLocale locale_;
  std::function<std::int64_t()> steady_;
};

}  // namespace vellora
