#include "window/qt/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>

#include "window/contrast.h"
#include "window/qt/controls.h"
#include "window/qt/pictures.h"

namespace vellora {

namespace {

int pixels(int twips, double scale) { return int(std::lround(twips * scale / 15.0)); }

// The desktop's sans-serif at the size of an 8-point font on a 96-dpi screen,
// times `scale`, or smaller until the captions on the left end clear of the boxes.
QFont windowFont(double scale) {
  QFont f(QApplication::font().family());
  f.setStyleHint(QFont::SansSerif);
  const auto width = [&f](int size, std::string_view caption) {
    f.setPixelSize(size);
    return QFontMetrics(f).horizontalAdvance(qText(caption));
  };
  f.setPixelSize(captionFontSize(int(std::lround(11 * scale)), 9, pixels(kCaptionRoomTwips, scale), width));
  return f;
}

void giveLinkLook(QLabel* label, const QFont& font) {
  QFont f = font;
  f.setItalic(true);
  f.setUnderline(true);
  f.setWeight(QFont::Normal);
  label->setFont(f);
  label->setForegroundRole(QPalette::Link);
  label->setCursor(Qt::PointingHandCursor);
}

// A picture `scale` times its classic size on a screen with `ratio` device
// pixels to the pixel.
QPixmap pictureFor(Picture picture, double scale, qreal ratio, const QColor& background) {
  QImage image;
  if (picture == Picture::Speaker) {
    image = drawSpeaker(scale * ratio, speakerColoursFor(background));
  } else {
    image = drawPauseButton(picture == Picture::PauseWhite ? QColor(Qt::white) : QColor(255, 0, 0));
    if (scale * ratio != 1.0)
      image = image.scaled((QSizeF(image.size()) * scale * ratio).toSize(), Qt::KeepAspectRatio,
                           Qt::SmoothTransformation);
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

}  // namespace

double fontScale(const QFont& font) {
  QFont classic(font);
  classic.setPointSizeF(8);
  return std::max(1.0, QFontMetricsF(font).height() / QFontMetricsF(classic).height());
}

Form1::Form1(FormServices services, std::string startFile, QWidget* parent)
    : QWidget(parent), Form1Logic(services, std::move(startFile)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(qText(kFormCaption));
  setAcceptDrops(true);
  installFormAccessibility();
  createControls();
  layOut();
  makeKeyboardReachable();
  wireEvents();
  Form_Load();
}

Form1::~Form1() = default;

void Form1::createControls() {
  for (const ControlDesign& c : kControls) {
    const QString text = QString::fromUtf8(c.text);
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::Label: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        w = label;
        break;
      }
      case ControlKind::Link:
      case ControlKind::Picture: {
        auto* action = new ClickableLabel(text, this);
        action->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        w = action;
        break;
      }
      case ControlKind::TextBox:
        // Only Text1 takes drops of its own; elsewhere a drop belongs to the window.
        w = c.id == Control::Text1 ? new FileDropLineEdit(text, this) : new QLineEdit(text, this);
        w->setAcceptDrops(c.id == Control::Text1);
        break;
      case ControlKind::List:
        w = new SpeedList(this);
        w->setAcceptDrops(false);
        break;
      case ControlKind::Button:
        w = new QPushButton(text, this);
        break;
    }
    w->setObjectName(QString::fromUtf8(c.name));
    if (!c.visible) w->hide();
    if (c.accessibleName) {
      w->setAccessibleName(QString::fromUtf8(c.accessibleName));
      w->setAccessibleDescription(QString::fromUtf8(c.accessibleDescription));
      w->setToolTip(w->accessibleDescription());
    }
    controls_[static_cast<std::size_t>(c.id)] = w;
  }
  // Each caption names the box that follows it in the table.
  for (std::size_t i = 0; i + 1 < kControls.size(); ++i)
    if (kControls[i].kind == ControlKind::Label)
      if (const ControlKind next = kControls[i + 1].kind; next == ControlKind::TextBox || next == ControlKind::List)
        control<QLabel>(kControls[i].id)->setBuddy(control(kControls[i + 1].id));

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTimer1IntervalMs);
}

QRect Form1::pixelsOf(const Twips& t) const {
  return QRect(pixels(t.left, scale_), pixels(t.top, scale_), pixels(t.width, scale_), pixels(t.height, scale_));
}

void Form1::layOut() {
  scale_ = fontScale(QApplication::font());
  const QFont font = windowFont(scale_);
  setFont(font);
  for (const ControlDesign& c : kControls) {
    QWidget* w = control(c.id);
    if (c.kind == ControlKind::Link) giveLinkLook(static_cast<QLabel*>(w), font);
    w->setGeometry(pixelsOf(placeOf(c.id)));
  }
  fitColours();
  control(Control::Label5)->adjustSize();  // it sizes itself to fit its caption
  // A window the user has made larger stays so; the designed size is the least.
  const QSize designed(pixels(kFormWidthTwips, scale_), pixels(kFormHeightTwips, scale_));
  resize(testAttribute(Qt::WA_Resized) ? size().expandedTo(designed) : designed);
}

void Form1::makeKeyboardReachable() {
  QWidget* previous = nullptr;
  for (const ControlDesign& c : kControls) {
    if (!c.tabStop) continue;
    QWidget* w = control(c.id);
    if (c.kind == ControlKind::Link || c.kind == ControlKind::Picture) w->setFocusPolicy(Qt::StrongFocus);
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
  control(Control::Combo1)->setFocus();
}

void Form1::fitColours() {
  if (!control(Control::Label3)) return;  // not built yet
  const QPalette own = palette();
  const QColor window = own.color(QPalette::Window);
  QPalette links;
  links.setColor(QPalette::Link, qColour(readableColour(rgbOf(own.color(QPalette::Link)), rgbOf(window), kTextContrast)));
  for (const ControlDesign& c : kControls) {
    if (c.kind == ControlKind::Link) control<QLabel>(c.id)->setPalette(links);
    if (c.picture == Picture::None) continue;
    auto* image = control<QLabel>(c.id);
    image->setPixmap(pictureFor(c.picture, scale_, devicePixelRatioF(), window));
    image->resize(image->pixmap().deviceIndependentSize().toSize());  // as large as its picture
  }
}

void Form1::wireEvents() {
  const auto clicks = [this](Control id, void (Form1Logic::*handler)()) {
    connect(control<ClickableLabel>(id), &ClickableLabel::clicked, this, [this, handler] { (this->*handler)(); });
  };
  clicks(Control::Image3, &Form1Logic::Image3_Click);
  clicks(Control::Image1, &Form1Logic::Image1_Click);
  clicks(Control::Label3, &Form1Logic::Label3_Click);
  clicks(Control::lblExplore, &Form1Logic::lblExplore_Click);
  clicks(Control::Label6, &Form1Logic::Label6_Click);
  clicks(Control::Image4, &Form1Logic::Image4_Click);
  clicks(Control::Image5, &Form1Logic::Image5_Click);
  connect(control<QPushButton>(Control::Command2), &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(control<QPushButton>(Control::Command3), &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
  // Return in either box or the speed list converts, as the convert picture does.
  for (Control box : {Control::Text1, Control::Text2})
    connect(control<QLineEdit>(box), &QLineEdit::returnPressed, this, [this] { Image3_Click(); });
  connect(control<SpeedList>(Control::Combo1), &SpeedList::returnPressed, this, [this] { Image3_Click(); });
  // Qt tells of a new application font only to the application itself (its
  // signal for it is deprecated), and the window's own font, set whole, keeps
  // the change from reaching the window: it watches the application for it.
  qApp->installEventFilter(this);
  auto* text1 = control<FileDropLineEdit>(Control::Text1);
  text1->acceptsDrop = [this](const QMimeData* mime) { return droppedFile(dropData(mime)).has_value(); };
  text1->dropped = [this](const QMimeData* mime) { Text1_OLEDragDrop(dropData(mime)); };
}

DropData Form1::dropData(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return std::nullopt;
  std::vector<std::string> paths;
  for (const QUrl& url : mime->urls()) {
    // The path's own bytes, which a name that is not UTF-8 keeps only
    // percent-encoded; a file elsewhere than on this machine has none.
    paths.push_back(url.isLocalFile() ? QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString()
                                      : std::string());
  }
  return paths;
}

void Form1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void Form1::dragMoveEvent(QDragMoveEvent* event) {
  if (droppedFile(dropData(event->mimeData()))) event->acceptProposedAction();
  else event->ignore();
}

void Form1::dropEvent(QDropEvent* event) {
  Form_OLEDragDrop(dropData(event->mimeData()));
  event->acceptProposedAction();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  // The desktop's font changed: the window grows or shrinks with it.
  if (watched == qApp && event->type() == QEvent::ApplicationFontChange) layOut();
  return QWidget::eventFilter(watched, event);
}

void Form1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) fitColours();
  QWidget::changeEvent(event);
}

// Form1View.

std::string Form1::boxText(Control box) {
  if (box == Control::Combo1) return stdText(control<QComboBox>(box)->currentText());
  return stdText(control<QLineEdit>(box)->text());
}

void Form1::setBoxText(Control box, const std::string& text) { control<QLineEdit>(box)->setText(qText(text)); }

// QLabel itself tells screen readers when its text changes.
void Form1::setLabelCaption(Control label, const std::string& caption) {
  control<QLabel>(label)->setText(qText(caption));
}

void Form1::setFormCaption(const std::string& caption) { setWindowTitle(qText(caption)); }

void Form1::fillList(std::span<const char* const> entries, int selected) {
  auto* list = control<QComboBox>(Control::Combo1);
  for (const char* entry : entries) list->addItem(QString::fromUtf8(entry));
  list->setCurrentIndex(selected);
}

void Form1::showControl(Control id, bool visible) { control(id)->setVisible(visible); }

void Form1::placeControl(Control id, const Twips& place) {
  QWidget* w = control(id);
  w->move(pixelsOf(place).topLeft());
}

void Form1::runTimer(bool running) {
  if (running) Timer1->start();
  else Timer1->stop();
}

void Form1::openProgress(const std::string& fileName) {
  copyDialog_ = new QProgressDialog(this);
  copyDialog_->setObjectName(QStringLiteral("CopyProgress"));
  copyDialog_->setWindowTitle(QCoreApplication::applicationName());  // "vellora", as the message boxes
  copyDialog_->setWindowModality(Qt::WindowModal);
  copyDialog_->setLabelText(QStringLiteral("Copying ") + qText(fileName));
  copyDialog_->setRange(0, 100);
  // Only closeProgress() closes it, so that 100% does not reset a cancelled state.
  copyDialog_->setAutoClose(false);
  copyDialog_->setAutoReset(false);
  copyDialog_->setMinimumDuration(0);
  copyDialog_->show();
}

bool Form1::advanceProgress(int percent) {
  if (!copyDialog_) return false;
  copyDialog_->setValue(percent);
  // The copy runs on this thread: the windows repaint, and Cancel is seen, only here.
  QCoreApplication::processEvents();
  return copyDialog_ && !copyDialog_->wasCanceled();
}

void Form1::closeProgress() { delete copyDialog_.data(); }

}  // namespace vellora
