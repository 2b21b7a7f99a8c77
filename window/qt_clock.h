#pragma once

#include <QDateTime>
#include <QLocale>
#include <functional>

#include "archive/archive_page.h"

namespace vellora {

// The date and time in the user's locale: the short date, a blank and the
// time with its seconds. The source of the time can be fixed for tests.
class QtClock : public Clock {
 public:
  explicit QtClock(std::function<QDateTime()> now = &QDateTime::currentDateTime,
                   QLocale locale = QLocale::system())
      : now_(std::move(now)), locale_(std::move(locale)) {}

  std::string presentDateTime() override;

 private:
  std::function<QDateTime()> now_;
  QLocale locale_;
};

}  // namespace vellora
