#include "window/qt/controls.h"

#include <QAccessibleWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vellora {

namespace {

class ClickableLabelAccessible : public QAccessibleWidget {
 public:
  explicit ClickableLabelAccessible(ClickableLabel* label) : QAccessibleWidget(label) {}

  // Asked each time: a picture gets its pixmap only once it is laid out.
  QAccessible::Role role() const override {
    return static_cast<ClickableLabel*>(widget())->pixmap().isNull() ? QAccessible::Link : QAccessible::Button;
  }

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

// The window as screen readers see it: only the controls it shows, for the
// hidden ones cannot be reached and would be read out all the same.
class ShownChildrenAccessible : public QAccessibleWidget {
 public:
  explicit ShownChildrenAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

  int childCount() const override { return int(shown().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> children = shown();
    return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                 : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child ? int(shown().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
  }

 private:
  QList<QWidget*> shown() const {
    QList<QWidget*> children;
    for (QObject* o : widget()->children())
      if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !w->isHidden()) children << w;
    return children;
  }
};

QAccessibleInterface* formFactory(const QString& className, QObject* object) {
  if (auto* label = qobject_cast<ClickableLabel*>(object)) return new ClickableLabelAccessible(label);
  if (className == QLatin1String("vellora::Form1")) return new ShownChildrenAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

void installFormAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(formFactory);
    return true;
  }();
  (void)installed;
}

QColor focusFrameColour(const QPalette& palette) {
  return qColour(readableColour(rgbOf(palette.color(QPalette::Highlight)), rgbOf(palette.color(QPalette::Window)),
                                kControlContrast));
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
  // A solid frame of its own: the style's faint one stands out from the
  // window by less than the 3:1 a focus frame needs.
  QRect frame = rect();
  // Around the words of a link, not the empty room below them.
  if (pixmap().isNull())
    frame = fontMetrics().boundingRect(contentsRect(), int(alignment()), text()).adjusted(-1, 0, 1, 1) & rect();
  QPainter painter(this);
  painter.setPen(QPen(focusFrameColour(palette()), 1));
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void SpeedList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit returnPressed();
    event->accept();
    return;
  }
  QComboBox::keyPressEvent(event);
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
