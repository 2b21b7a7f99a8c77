#pragma once

#include <QLabel>
#include <QLineEdit>
#include <functional>

class QDropEvent;
class QDragEnterEvent;
class QMimeData;

namespace vellora {

// A label or picture that reports left-button clicks, and Space or Return
// while it has the focus.
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

// Lets screen readers see clickable labels as buttons (pictures) or links
// (text) that can be pressed. Safe to call more than once.
void installClickableLabelAccessibility();

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
