#include "window/qt/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <utility>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "shellfiles/file_helpers.h"
#include "shellfiles/latest.h"
#include "window/qt/controls.h"
#include "window/form_text.h"

namespace vellora {

namespace {

// Positions are kept in twips, 15 to the pixel at the classic font size; each
// control carries its own so that the window can be laid out again.
struct Twips {
  int left, top, width, height;
};
constexpr char kTwips[] = "twips";
constexpr char kPicture[] = "picture";

int pixels(int twips, double scale) { return int(std::lround(twips * scale / 15.0)); }

}  // namespace

double fontScale(const QFont& font) {
  QFont classic(font);
  classic.setPointSizeF(8);
  return std::max(1.0, QFontMetricsF(font).height() / QFontMetricsF(classic).height());
}

namespace {

template <class Widget, class... Args>
Widget* make(QWidget* parent, const char* name, Twips where, Args&&... args) {
  auto* w = new Widget(std::forward<Args>(args)..., parent);
  w->setObjectName(name);
  w->setProperty(kTwips, QRect(where.left, where.top, where.width, where.height));
  return w;
}

// The desktop's sans-serif at the size of an 8-point font on a 96-dpi screen,
// times `scale`, or smaller until the captions on the left end clear of the
// boxes at 88 pixels: fonts wider than the classic one would run under them.
QFont windowFont(double scale) {
  QFont f(QApplication::font().family());
  f.setStyleHint(QFont::SansSerif);
  const int largest = int(std::lround(11 * scale));
  for (int size = largest; size > 8; --size) {
    f.setPixelSize(size);
    const QFontMetrics m(f);
    const int widest = std::max({m.horizontalAdvance(QStringLiteral("Input Filename:")),
                                 m.horizontalAdvance(QStringLiteral("Output Directory:")),
                                 m.horizontalAdvance(QStringLiteral("Replay Speed:"))});
    if (widest <= pixels(1290, scale)) break;
  }
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

QLabel* label(QWidget* parent, const char* name, const char* caption, Twips where) {
  auto* l = make<QLabel>(parent, name, where, QString::fromUtf8(caption));
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return l;
}

ClickableLabel* picture(QWidget* parent, const char* name, const char* resource, Twips where) {
  auto* image = make<ClickableLabel>(parent, name, where);
  image->setProperty(kPicture, QString::fromUtf8(resource));
  return image;
}

// A picture at `scale` times its classic size on a screen with `ratio` device
// pixels to the pixel: the classic file itself when both are 1, else drawn
// down from its large version where there is one.
QPixmap scaledPicture(const QString& resource, double scale, qreal ratio) {
  const QPixmap classic(resource);
  if (scale == 1.0 && ratio == 1.0) return classic;
  QString large = resource;
  large.replace(QStringLiteral(".png"), QStringLiteral("-large.png"));
  const QPixmap source = QFile::exists(large) ? QPixmap(large) : classic;
  const QSize size = (QSizeF(classic.size()) * scale * ratio).toSize();
  QPixmap pixmap = source.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

class LineEditBox : public InputBox {
 public:
  explicit LineEditBox(QLineEdit* edit) : edit_(edit) {}
  std::string text() override { return edit_->text().toStdString(); }
  void setText(const std::string& text) override { edit_->setText(QString::fromStdString(text)); }

 private:
  QLineEdit* edit_;
};

double luminance(const QColor& c) {
  const auto channel = [](float v) {
    return v <= 0.04045f ? double(v) / 12.92 : std::pow((double(v) + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent) : Form1(services, std::string(), parent) {}

Form1::Form1(Form1Services services, std::string startFile, QWidget* parent)
    : QWidget(parent),
      services_(services),
      startFile_(std::move(startFile)),
      job_(services.files, services.shell, *this, services.dialogs),
      media_(services.system, *this) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vellora"));
  setAcceptDrops(true);
  installClickableLabelAccessibility();
  createControls();
  layOut();
  QCoreApplication::instance()->installEventFilter(this);
  makeKeyboardReachable();
  fitLinkColour();
  wireEvents();
  Form_Load();
}

Form1::~Form1() = default;

void Form1::createControls() {
  Label1 = label(this, "Label1", "Input Filename:", {0, 240, 1815, 255});
  Text1 = make<FileDropLineEdit>(this, "Text1", {1320, 240, 3495, 375}, QStringLiteral("C:\\temp\\in.wav"));
  Image1 = picture(this, "Image1", ":/pictures/speaker.png", {4920, 240, 285, 285});
  Label3 = make<ClickableLabel>(this, "Label3", {5280, 240, 855, 375}, QStringLiteral("latest"));
  Label2 = label(this, "Label2", "Output Directory:", {0, 600, 1815, 255});
  Text2 = make<QLineEdit>(this, "Text2", {1320, 600, 3495, 375}, QStringLiteral("C:\\temp\\vellora\\"));
  lblExplore = make<ClickableLabel>(this, "lblExplore", {4920, 670, 855, 375}, QStringLiteral("explore..."));
  Label5 = label(this, "Label5", "Replay Speed:", {0, 960, 1050, 195});
  Combo1 = make<QComboBox>(this, "Combo1", {1320, 960, 3495, 315});
  Image3 = picture(this, "Image3", ":/pictures/speaker.png", {4920, 1080, 285, 285});
  Command2 = make<QPushButton>(this, "Command2", {5880, 1080, 975, 375}, QStringLiteral("Stop"));
  Image4 = picture(this, "Image4", ":/pictures/pause-white.png", {1080, 1320, 450, 495});
  Image5 = picture(this, "Image5", ":/pictures/pause-red.png", {1560, 1320, 450, 495});
  lblTime = label(this, "lblTime", "", {3720, 1320, 1095, 375});
  Label6 = make<ClickableLabel>(this, "Label6", {2760, 1440, 1095, 375}, QStringLiteral("What's this?"));
  lblInfo = label(this, "lblInfo", "", {1320, 1800, 3495, 615});
  Label4 = label(this, "Label4", "Command:", {0, 2280, 1815, 255});
  Text3 = make<QLineEdit>(this, "Text3", {1320, 2280, 3495, 375});
  Command3 = make<QPushButton>(this, "Command3", {4920, 2280, 975, 375}, QStringLiteral("Execute"));

  for (QLabel* link : {static_cast<QLabel*>(Label3), static_cast<QLabel*>(lblExplore),
                       static_cast<QLabel*>(Label6)})
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (QWidget* hidden : std::initializer_list<QWidget*>{Command2, Command3, Text3, Label4, lblTime,
                                                         Image4, Image5})
    hidden->setVisible(false);

  Combo1->setEditable(false);
  // Only Text1 takes drops of its own; elsewhere a drop belongs to the window.
  Text2->setAcceptDrops(false);
  Combo1->setAcceptDrops(false);
  Label1->setBuddy(Text1);
  Label2->setBuddy(Text2);
  Label5->setBuddy(Combo1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1);
}

void Form1::layOut() {
  const double scale = fontScale(QApplication::font());
  const QFont font = windowFont(scale);
  setFont(font);
  for (QLabel* link : {static_cast<QLabel*>(Label3), static_cast<QLabel*>(lblExplore),
                       static_cast<QLabel*>(Label6)})
    giveLinkLook(link, font);
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QRect t = w->property(kTwips).toRect();
    w->setGeometry(pixels(t.x(), scale), pixels(t.y(), scale), pixels(t.width(), scale),
                   pixels(t.height(), scale));
    const QString resource = w->property(kPicture).toString();
    if (resource.isEmpty()) continue;
    auto* image = static_cast<QLabel*>(w);
    image->setPixmap(scaledPicture(resource, scale, devicePixelRatioF()));
    image->resize(image->pixmap().deviceIndependentSize().toSize());  // as large as its picture
  }
  Label5->adjustSize();  // it sizes itself to fit its caption
  // A window the user has made larger stays so; the designed size is the least.
  const QSize designed(pixels(6270, scale), pixels(2415, scale));
  resize(testAttribute(Qt::WA_Resized) ? size().expandedTo(designed) : designed);
}

void Form1::makeKeyboardReachable() {
  struct Action {
    ClickableLabel* control;
    ActionText text;
  };
  const Action actions[] = {{Image1, kPlayAction}, {Label3, kLatestAction}, {lblExplore, kExploreAction},
                            {Image3, kConvertAction}, {Label6, kHelpAction}};
  QWidget* previous = Combo1;
  setTabOrder(Text1, Text2);
  setTabOrder(Text2, Combo1);
  for (const Action& a : actions) {
    a.control->setFocusPolicy(Qt::StrongFocus);
    a.control->setAccessibleName(QString::fromUtf8(a.text.name));
    a.control->setAccessibleDescription(QString::fromUtf8(a.text.description));
    a.control->setToolTip(QString::fromUtf8(a.text.description));
    setTabOrder(previous, a.control);
    previous = a.control;
  }
  setTabOrder(previous, Command2);
  setTabOrder(Command2, Command3);
  setTabOrder(Command3, Text3);
  for (QWidget* box : std::initializer_list<QWidget*>{Text1, Text2, Combo1}) box->installEventFilter(this);
  Combo1->setFocus();
}

void Form1::fitLinkColour() {
  const QPalette own = palette();
  QPalette links;
  links.setColor(QPalette::Link, readableLinkColour(own.color(QPalette::Link), own.color(QPalette::Window)));
  for (QLabel* link : {static_cast<QLabel*>(Label3), static_cast<QLabel*>(lblExplore),
                       static_cast<QLabel*>(Label6)})
    link->setPalette(links);
}

void Form1::wireEvents() {
  connect(Image3, &ClickableLabel::clicked, this, &Form1::Image3_Click);
  connect(Image1, &ClickableLabel::clicked, this, &Form1::Image1_Click);
  connect(Label3, &ClickableLabel::clicked, this, &Form1::Label3_Click);
  connect(lblExplore, &ClickableLabel::clicked, this, &Form1::lblExplore_Click);
  connect(Label6, &ClickableLabel::clicked, this, &Form1::Label6_Click);
  connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(Image4, &ClickableLabel::clicked, this, &Form1::Image4_Click);
  connect(Image5, &ClickableLabel::clicked, this, &Form1::Image5_Click);
  connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
  connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
  Text1->acceptsDrop = [this](const QMimeData* mime) { return acceptsDrop(mime); };
  Text1->dropped = [this](const QMimeData* mime) { Text1_OLEDragDrop(mime); };
}

void Form1::Form_Load() {
  QRect twips = Image5->property(kTwips).toRect();
  twips.moveLeft(Image4->property(kTwips).toRect().left());
  Image5->setProperty(kTwips, twips);
  Image5->move(Image4->x(), Image5->y());
  Image5->setVisible(false);
  // From here on a failing step is skipped without a word.
  (void)services_.files.makeDirectory("C:\\temp");
  (void)services_.files.makeDirectory("C:\\temp\\vellora");
  for (const char* entry : kSpeedEntries) Combo1->addItem(QString::fromUtf8(entry));
  Combo1->setCurrentIndex(kStartSpeedEntry);
  if (startFile_.empty()) getLatest();
  else Text1->setText(QString::fromStdString(startFile_));
}

// Operations.

void Form1::checkfile(const std::string& sfilein, const std::string& sdirout) {
  job_.checkfile(sfilein, sdirout);
}

void Form1::getLatest() {
  LineEditBox box(Text1);
  vellora::getLatest(services_.files, box);
}

void Form1::shellopen(std::string& url, std::int16_t mode) { services_.shell.shellopen(url, mode); }

void Form1::openAudio(std::string& fname) { services_.shell.openAudio(fname); }

void Form1::puttofile(const std::string& swhat, const std::string& sfile, std::int32_t pt) {
  vellora::puttofile(services_.files, swhat, sfile, pt);
}

std::string Form1::loadfromfile(const std::string& fname) {
  return vellora::loadfromfile(services_.files, fname);
}

void Form1::closeAudio() { media_.closeAudio(); }
void Form1::pauseAudio() { media_.pauseAudio(); }
void Form1::resumeAudio() { media_.resumeAudio(); }
std::int32_t Form1::getPosition() { return media_.getPosition(); }

void Form1::archivedata() {
  ArchiveServices archive{services_.files, services_.shell, services_.dialogs, services_.clock};
  vellora::archivedata(archive, Label1->text().toStdString());
}

// Event handlers.

void Form1::Image3_Click() { checkfile(Text1->text().toStdString(), Text2->text().toStdString()); }

void Form1::Image1_Click() {
  playFileName_ = Text1->text().toStdString();
  if (playFileName_.empty()) {
    services_.dialogs.message("designate an input filename");
    return;
  }
  openAudio(playFileName_);
}

std::optional<std::string> Form1::droppedWavFile(const QMimeData* mime) const {
  // Only the first file counts, and only when its path holds ".wav".
  if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return std::nullopt;
  const QUrl first = mime->urls().front();
  if (!first.isLocalFile()) return std::nullopt;
  std::optional<std::string> path = services_.paths.toSystem(first.toLocalFile().toStdString());
  if (!path || path->find(".wav") == std::string::npos) return std::nullopt;
  return path;
}

bool Form1::acceptsDrop(const QMimeData* mime) const { return droppedWavFile(mime).has_value(); }

void Form1::Form_OLEDragDrop(const QMimeData* mime) {
  const std::optional<std::string> path = droppedWavFile(mime);
  if (!path) return;
  Text1->setText(QString::fromStdString(*path));
  Image3_Click();
}

void Form1::Text1_OLEDragDrop(const QMimeData* mime) { Form_OLEDragDrop(mime); }

void Form1::Label3_Click() { getLatest(); }

void Form1::lblExplore_Click() {
  std::string url = Text2->text().toStdString();
  shellopen(url, SW_HIDE);
}

void Form1::Label6_Click() { services_.dialogs.message(kHelpText); }

void Form1::Command2_Click() { closeAudio(); }
void Form1::Image4_Click() { pauseAudio(); }
void Form1::Image5_Click() { resumeAudio(); }
void Form1::Command3_Click() { media_.Command3_Click(); }
void Form1::Timer1_Timer() { media_.Timer1_Timer(); }

void Form1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void Form1::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptsDrop(event->mimeData())) event->acceptProposedAction();
  else event->ignore();
}

void Form1::dropEvent(QDropEvent* event) {
  Form_OLEDragDrop(event->mimeData());
  event->acceptProposedAction();
}

void Form1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange && Label3) fitLinkColour();

  QWidget::changeEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  // The desktop's font changed: the window grows or shrinks with it.
  if (event->type() == QEvent::ApplicationFontChange && watched == QCoreApplication::instance()) {
    layOut();
    return false;
  }
  // A closed list passes its keys here; an open one's popup keeps them.
  const bool box = watched == Text1 || watched == Text2 || watched == Combo1;
  if (box && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Image3_Click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// The window as the speed-change job sees it.

std::string Form1::percentText() { return Combo1->currentText().toStdString(); }
void Form1::setCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }
// QLabel itself tells screen readers when its text changes.
void Form1::setInfo(const std::string& info) { lblInfo->setText(QString::fromStdString(info)); }

bool Form1::copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) {
  const std::int64_t now = services_.clock.steadyMilliseconds();
  if (!copyStarted_) copyStarted_ = now;
  if (!copyDialog_) {
    // Short copies show nothing; neither does one that has just finished.
    if (done >= total || now - *copyStarted_ < kProgressDelayMs) return true;
    const std::size_t slash = file.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    copyDialog_ = new QProgressDialog(this);
    copyDialog_->setObjectName(QStringLiteral("CopyProgress"));
    copyDialog_->setWindowTitle(QCoreApplication::applicationName());  // "vellora", as the message boxes
    copyDialog_->setWindowModality(Qt::WindowModal);
    copyDialog_->setLabelText(QStringLiteral("Copying ") + QString::fromStdString(name));
    copyDialog_->setRange(0, 100);
    // Only copyEnded() closes it, so that 100% does not reset a cancelled state.
    copyDialog_->setAutoClose(false);
    copyDialog_->setAutoReset(false);
    copyDialog_->setMinimumDuration(0);
    copyDialog_->show();
  }
  copyDialog_->setValue(total == 0 ? 100 : static_cast<int>(std::min(done, total) * 100 / total));
  // The copy runs on this thread: the windows repaint, and Cancel is seen, only here.
  QCoreApplication::processEvents();
  return copyDialog_ && !copyDialog_->wasCanceled();
}

void Form1::copyEnded() {
  copyStarted_.reset();
  delete copyDialog_.data();
}

// The window as the media commands see it.

void Form1::setTimerEnabled(bool enabled) {
  if (enabled) Timer1->start();
  else Timer1->stop();
}
void Form1::hideResumeImage() { Image5->setVisible(false); }
void Form1::setTimeCaption(const std::string& caption) {
  lblTime->setText(QString::fromStdString(caption));
}
std::string Form1::commandText() { return Text3->text().toStdString(); }

// Link colours.

double contrastRatio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableLinkColour(const QColor& link, const QColor& background) {
  const QColor towards = luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
  QColor c = link;
  for (int step = 1; step <= 20 && contrastRatio(c, background) < 4.5; ++step) {
    const float t = float(step) / 20.0f;
    c = QColor::fromRgbF(link.redF() + (towards.redF() - link.redF()) * t,
                         link.greenF() + (towards.greenF() - link.greenF()) * t,
                         link.blueF() + (towards.blueF() - link.blueF()) * t);
  }
  return c;
}

}  // namespace vellora
