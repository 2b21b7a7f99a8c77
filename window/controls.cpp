#include "window/controls.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>

namespace vellora {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) event->accept();
  else QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void FileDropLineEdit::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void FileDropLineEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptsDrop && acceptsDrop(event->mimeData())) event->acceptProposedAction();
  else event->ignore();
}

void FileDropLineEdit::dropEvent(QDropEvent* event) {
  if (dropped) dropped(event->mimeData());
  event->acceptProposedAction();
}

}  // namespace vellora
