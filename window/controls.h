#pragma once

#include <QLabel>
#include <QLineEdit>
#include <functional>

class QDropEvent;
class QDragEnterEvent;
class QMimeData;

namespace vellora {

// A label or picture that reports left-button clicks.
class ClickableLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  // Taking the press makes the release come here too, and not to the window.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
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
