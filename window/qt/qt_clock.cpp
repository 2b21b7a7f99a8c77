#include "window/qt/qt_clock.h"

#include <QElapsedTimer>

namespace vellora {
namespace {

// The locale's long time format without its time zone ("t"), which a
// desktop's general date form does not show.
QString timeWithoutZone(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString kept;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (quoted || c != u't') kept += c;
  }
  return kept.trimmed();
}

}  // namespace

std::int64_t QtClock::systemSteadyMilliseconds() {
  static const QElapsedTimer started = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return started.elapsed();
}

std::string QtClock::presentDateTime() {
  const QDateTime now = now_();
  return (locale_.toString(now.date(), QLocale::ShortFormat) + u' ' +
          locale_.toString(now.time(), timeWithoutZone(locale_)))
      .toStdString();
}

}  // namespace vellora
