#include "window/qt/controls.h"

#include <QAccessibleWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace vellora {

namespace {

class ClickableLabelAccessible : public QAccessibleWidget {
 public:
  explicit ClickableLabelAccessible(ClickableLabel* label)
      : QAccessibleWidget(label, label->pixmap().isNull() ? QAccessible::Link : QAccessible::Button) {}

  QStringList actionNames() const override {
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& actionName) override {
    if (actionName == pressAction()) static_cast<ClickableLabel*>(widget())->click();
    else QAccessibleWidget::doAction(actionName);
  }
  QString text(QAccessible::Text t) const override {
    QString s = QAccessibleWidget::text(t);
    if (s.isEmpty() && t == QAccessible::Name) s = static_cast<ClickableLabel*>(widget())->text();
    return s;
  }
};

QAccessibleInterface* clickableLabelFactory(const QString&, QObject* object) {
  if (auto* label = qobject_cast<ClickableLabel*>(object)) return new ClickableLabelAccessible(label);
  return nullptr;
}

}  // namespace

void installClickableLabelAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(clickableLabelFactory);
    return true;
  }();
  (void)installed;
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) event->accept();
  else QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) emit clicked();
      event->accept();
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QStylePainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  // Around the words of a link, not the empty room below them.
  if (pixmap().isNull())
    option.rect = fontMetrics().boundingRect(contentsRect(), int(alignment()), text()).adjusted(-1, 0, 1, 1) & rect();
  option.backgroundColor = palette().color(backgroundRole());
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
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
