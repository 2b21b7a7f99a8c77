#pragma once

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <string>
#include <string_view>

#include "window/contrast.h"

class QDropEvent;
class QDragEnterEvent;
class QMimeData;

namespace vellora {

// The core's text is UTF-8, and every system path is valid UTF-8 (a host
// name's stray bytes travel escaped), so a QString holds it losslessly.
inline QString qText(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
inline std::string stdText(const QString& text) { return text.toUtf8().toStdString(); }

inline Rgb rgbOf(const QColor& c) {
  return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
          static_cast<std::uint8_t>(c.blue())};
}
inline QColor qColour(Rgb c) { return QColor(c.red, c.green, c.blue); }

// A label or picture that reports left-button clicks, and Space or Return
// while it has the focus, which a solid frame then shows.
class ClickableLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
  void click() { emit clicked(); }

 signals:
  void clicked();

 protected:
  // Taking the press makes the release come here too, and not to the window.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// The colour of the focus frame: the palette's highlight, made to stand out
// from the window by 3:1.
QColor focusFrameColour(const QPalette& palette);

// Lets screen readers see clickable labels as buttons (pictures) or links
// (text) that can be pressed, and the window without the controls it hides.
// Safe to call more than once.
void installFormAccessibility();

// The speed list, a list the user picks from: Return on it, while it is
// closed, is reported as a line edit reports it (an open list's popup takes
// the keys itself).
class SpeedList : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;

 signals:
  void returnPressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// The input box: it takes dropped file lists, which the window handles, and
// never inserts dropped text the way a plain line edit would.
class FileDropLineEdit : public QLineEdit {
  Q_OBJECT
 public:
  using QLineEdit::QLineEdit;
  std::function<bool(const QMimeData*)> acceptsDrop;
  std::function<void(const QMimeData*)> dropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace vellora
