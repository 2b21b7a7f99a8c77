// The window under the offscreen platform, driven through real events.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "platform/linux/host_file_system.h"
#include "platform/linux/host_module1.h"
#include "support/fakes.h"
#include "support/slow_files.h"
#include "support/temp_drive.h"
#include "support/wav_builder.h"
#include "window/contrast.h"
#include "window/qt/controls.h"
#include "window/qt/form1.h"
#include "window/form_text.h"
#include "window/qt/qt_clock.h"

using namespace vellora;

namespace {

// One window over a fresh drive C:, with recorded shell calls and scripted boxes.
struct Harness {
  explicit Harness(std::function<void(test::TempDrive&)> prepare = {}) {
    if (prepare) prepare(drive);
    form = std::make_unique<Form1>(FormServices{files, shell, dialogs, files.drives(), system, clock});
  }
  template <class W>
  W* get(const char* name) const {
    W* w = form->findChild<W*>(QString::fromUtf8(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  QString text(const char* name) const { return get<QLineEdit>(name)->text(); }
  void click(const char* name) const { QTest::mouseClick(get<QWidget>(name), Qt::LeftButton); }

  test::TempDrive drive;
  HostFileSystem files{DriveMap::fromEnvironment()};
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow dialogs;
  QtClock clock{[] { return QDateTime(QDate(2026, 12, 8), QTime(13, 4, 5)); }, QLocale::c()};
  std::unique_ptr<Form1> form;
};

std::unique_ptr<QMimeData> fileList(const std::vector<std::string>& hostPaths) {
  auto mime = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const std::string& p : hostPaths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
  mime->setUrls(urls);
  return mime;
}

bool dragAccepted(QWidget* target, const QMimeData* mime) {
  QDragEnterEvent event(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
  return event.isAccepted();
}

// A drop comes after the drag has entered, as with a real mouse.
void drop(QWidget* target, const QMimeData* mime) {
  dragAccepted(target, mime);
  QDropEvent event(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

const std::string talk = test::canonicalWav(44100, 2, 16, 4000);

void withTalk(test::TempDrive& d) {
  d.mkdir("temp");
  d.write("temp/talk.wav", talk);
}

using SlowFiles = test::SlowFiles<HostFileSystem>;

// One window over a fresh drive C: holding talk.wav, whose copies are slowed.
struct SlowHarness {
  SlowHarness() {
    withTalk(drive);
    form = std::make_unique<Form1>(FormServices{files, shell, dialogs, files.drives(), system, clock});
    form->show();
    form->findChild<QLineEdit*>("Text1")->setText("C:\\temp\\talk.wav");
    form->findChild<QComboBox*>("Combo1")->setCurrentIndex(5);
  }
  QProgressDialog* progress() const { return form->findChild<QProgressDialog*>(); }
  void convert() const { QTest::mouseClick(form->findChild<QWidget*>("Image3"), Qt::LeftButton); }

  test::TempDrive drive;
  SlowFiles files{DriveMap::fromEnvironment()};
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow dialogs;
  QtClock clock{&QDateTime::currentDateTime, QLocale::c(), [this] { return files.now; }};
  std::unique_ptr<Form1> form;
};

}  // namespace

double ratio(const QColor& a, const QColor& b) { return contrastRatio(rgbOf(a), rgbOf(b)); }

QPalette lightPalette() {
  std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  return fusion->standardPalette();
}

// A dark palette as dark desktop themes have it.
QPalette darkPalette() {
  QPalette dark = lightPalette();
  dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
  dark.setColor(QPalette::Text, Qt::white);
  dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::ButtonText, Qt::white);
  dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
  dark.setColor(QPalette::HighlightedText, Qt::black);
  dark.setColor(QPalette::Link, QColor(0x2a, 0x82, 0xda));
  return dark;
}

// How a picture stands out from the background it is shown on: the contrast
// of the pixels on its outer edge (those beside a pixel of the background),
// the strongest tenth of them, so that the smoothed rim does not count.
double edgeContrast(const QImage& shot, const QColor& background) {
  std::vector<double> edge;
  const auto isBackground = [&](int x, int y) {
    return x < 0 || y < 0 || x >= shot.width() || y >= shot.height() || shot.pixelColor(x, y).rgb() == background.rgb();
  };
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (!isBackground(x, y) &&
          (isBackground(x - 1, y) || isBackground(x + 1, y) || isBackground(x, y - 1) || isBackground(x, y + 1)))
        edge.push_back(ratio(shot.pixelColor(x, y), background));
  if (edge.empty()) return 1;
  std::sort(edge.begin(), edge.end());
  return edge[edge.size() * 9 / 10];
}

QFont fontOf(int points) {
  QFont f = QApplication::font();
  f.setPointSize(points);
  return f;
}

// Captions end before the boxes, links fit their places, pictures are as
// large as their places, and nothing visible reaches past the window.
void expectNothingOverlaps(const Harness& h) {
  const int boxes = h.get<QWidget>("Text1")->x();
  for (const char* name : {"Label1", "Label2", "Label5"}) {
    auto* l = h.get<QLabel>(name);
    QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) < boxes - 1, name);
  }
  for (const char* name : {"Label3", "lblExplore", "Label6"}) {
    auto* l = h.get<QLabel>(name);
    const QFontMetrics m(l->font());
    QVERIFY2(m.horizontalAdvance(l->text()) <= l->width() && m.height() <= l->height(), name);
  }
  for (const QWidget* w : h.form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w->isVisible()) QVERIFY2(h.form->rect().contains(w->geometry()), qPrintable(w->objectName()));
  QCOMPARE(h.get<QLabel>("Image1")->pixmap().deviceIndependentSize().toSize(), h.get<QWidget>("Image1")->size());
}

// The pairs of visible controls whose places meet; a few do by design, by a pixel or two.
QStringList overlaps(const Harness& h) {
  QStringList pairs;
  const QList<QWidget*> controls = h.form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (const QWidget* a : controls)
    for (const QWidget* b : controls)
      if (a->objectName() < b->objectName() && !a->isHidden() && !b->isHidden() &&
          a->geometry().intersects(b->geometry()))
        pairs << a->objectName() + "/" + b->objectName();
  pairs.sort();
  return pairs;
}

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  // The classic size: the application font at 8 points.
  void initTestCase() { QApplication::setFont(fontOf(8)); }
  void cleanup() { QApplication::setFont(fontOf(8)); }

  // The logic's start-up shows in the real controls.
  void startsWithItsDesignState() {
    Harness h([](test::TempDrive& d) {
      d.mkdir("temp");
      d.write("temp/take.wav", "RIFF");
    });
    QCOMPARE(h.form->windowTitle(), QString("Vellora"));
    QCOMPARE(h.form->size(), QSize(418, 161));
    auto* combo = h.get<QComboBox>("Combo1");
    QCOMPARE(combo->count(), 8);
    QCOMPARE(combo->currentText(), QString("100%"));
    QVERIFY(!combo->isEditable());
    QCOMPARE(h.text("Text1"), QString("C:\\temp\\take.wav"));
    QCOMPARE(h.text("Text2"), QString("C:\\temp\\vellora\\"));
    auto* timer = h.get<QTimer>("Timer1");
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 1);
  }

  void placesEveryControl() {
    Harness h;
    h.form->show();
    struct Place {
      const char* name;
      QRect rect;
      bool visible;
    };
    const Place places[] = {
        {"Label1", {0, 16, 121, 17}, true},      {"Text1", {88, 16, 233, 25}, true},
        {"Image1", {328, 16, 19, 19}, true},     {"Label3", {352, 16, 57, 25}, true},
        {"Label2", {0, 40, 121, 17}, true},      {"Text2", {88, 40, 233, 25}, true},
        {"lblExplore", {328, 45, 57, 25}, true}, {"Combo1", {88, 64, 233, 21}, true},
        {"Image3", {328, 72, 19, 19}, true},     {"Command2", {392, 72, 65, 25}, false},
        {"Image4", {72, 88, 30, 33}, false},     {"Image5", {72, 88, 30, 33}, false},
        {"lblTime", {248, 88, 73, 25}, false},   {"Label6", {184, 96, 73, 25}, true},
        {"lblInfo", {88, 120, 233, 41}, true},   {"Label4", {0, 152, 121, 17}, false},
        {"Text3", {88, 152, 233, 25}, false},    {"Command3", {328, 152, 65, 25}, false},
    };
    for (const Place& p : places) {
      QWidget* w = h.get<QWidget>(p.name);
      QCOMPARE(w->geometry(), p.rect);
      QCOMPARE(w->isVisible(), p.visible);
    }
    QCOMPARE(h.get<QWidget>("Label5")->pos(), QPoint(0, 64));

    // Enlarging the window moves nothing and reveals nothing.
    h.form->resize(800, 600);
    QCOMPARE(h.get<QWidget>("Text1")->geometry(), QRect(88, 16, 233, 25));
    QVERIFY(!h.get<QWidget>("Command2")->isVisible());
  }

  void drawsItsPictures() {
    Harness h;
    const QImage speaker = h.get<QLabel>("Image1")->pixmap().toImage();
    QCOMPARE(speaker.size(), QSize(19, 19));
    QCOMPARE(speaker.pixelColor(0, 18).alpha(), 0);  // the window shows through
    QCOMPARE(h.get<QLabel>("Image3")->pixmap().toImage(), speaker);
    const QImage white = h.get<QLabel>("Image4")->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
    const QImage red = h.get<QLabel>("Image5")->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
    QCOMPARE(white.size(), QSize(30, 33));
    QCOMPARE(red.size(), white.size());
    int button = 0;
    for (int y = 0; y < white.height(); ++y)
      for (int x = 0; x < white.width(); ++x) {
        // Pixel for pixel the same button; only the background differs.
        if (white.pixelColor(x, y) == red.pixelColor(x, y)) ++button;
        else QVERIFY(white.pixelColor(x, y) == Qt::white && red.pixelColor(x, y) == QColor(255, 0, 0));
      }
    QVERIFY(button > 500);
  }

  void linksLookLikeLinks() {
    Harness h;
    for (const char* name : {"Label3", "lblExplore", "Label6"}) {
      auto* link = h.get<QLabel>(name);
      QVERIFY(link->font().italic());
      QVERIFY(link->font().underline());
      QCOMPARE(link->font().weight(), QFont::Normal);
      QCOMPARE(link->foregroundRole(), QPalette::Link);
      QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
    QVERIFY(!h.get<QLabel>("Label1")->font().italic());
    // Every caption on the left ends clear of the boxes that start at 88.
    for (const char* name : {"Label1", "Label2", "Label5"}) {
      auto* l = h.get<QLabel>(name);
      QVERIFY(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= 86);
    }
  }

  void growsWithTheApplicationFont() {
    QStringList classicOverlaps;
    {
      Harness classic;
      classic.form->show();
      classicOverlaps = overlaps(classic);
    }
    QApplication::setFont(fontOf(14));
    Harness h;
    h.form->show();
    const double scale = fontScale(QApplication::font());
    QVERIFY(scale > 1.6);
    QCOMPARE(overlaps(h), classicOverlaps);  // the larger font makes no new ones
    QCOMPARE(h.form->size(), QSize(int(std::lround(418 * scale)), int(std::lround(161 * scale))));
    QCOMPARE(h.get<QWidget>("Text1")->geometry(),
             QRect(int(std::lround(88 * scale)), int(std::lround(16 * scale)), int(std::lround(233 * scale)),
                   int(std::lround(25 * scale))));
    expectNothingOverlaps(h);

    // Back at the classic font the open window returns to its classic places.
    QApplication::setFont(fontOf(8));
    QCOMPARE(h.get<QWidget>("Text1")->geometry(), QRect(88, 16, 233, 25));
    QCOMPARE(h.get<QLabel>("Image3")->pixmap().size(), QSize(19, 19));
    expectNothingOverlaps(h);
  }

  void tabReachesTheBoxesThenTheFiveActions() {
    Harness h;
    h.form->show();
    QApplication::setActiveWindow(h.form.get());
    QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    QCOMPARE(QApplication::focusWidget(), h.get<QWidget>("Combo1"));
    for (const char* next : {"Text1", "Text2", "Image1", "Label3", "lblExplore", "Image3", "Label6", "Combo1"}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), h.get<QWidget>(next));
    }
  }

  void theFiveActionsAreNamed() {
    Harness h;
    const std::pair<const char*, const char*> names[] = {
        {"Image1", "Play the input file"}, {"Label3", "latest"},      {"lblExplore", "explore..."},
        {"Image3", "Convert and play"},    {"Label6", "What's this?"},
    };
    for (const auto& [object, name] : names) {
      QWidget* w = h.get<QWidget>(object);
      QCOMPARE(w->focusPolicy(), Qt::StrongFocus);
      QCOMPARE(w->accessibleName(), QString(name));
      QVERIFY(!w->accessibleDescription().isEmpty());
      QCOMPARE(w->toolTip(), w->accessibleDescription());
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      QVERIFY(a);
      QCOMPARE(a->text(QAccessible::Name), QString(name));
      QCOMPARE(a->role(), std::string(object).starts_with("Image") ? QAccessible::Button : QAccessible::Link);
      QVERIFY(a->actionInterface());
      QVERIFY(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
  }

  void labelsNameTheirBoxes() {
    Harness h;
    const std::pair<const char*, const char*> buddies[] = {
        {"Label1", "Text1"}, {"Label2", "Text2"}, {"Label5", "Combo1"}};
    for (const auto& [label, box] : buddies) {
      QCOMPARE(h.get<QLabel>(label)->buddy(), h.get<QWidget>(box));
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.get<QWidget>(box));
      QVERIFY(a);
      const auto labelledBy = a->relations(QAccessible::Label);
      QCOMPARE(labelledBy.size(), 1);
      QCOMPARE(labelledBy[0].first->object(), h.get<QLabel>(label));
    }
  }

  void spaceOrReturnOnAnActionDoesWhatAClickDoes() {
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
      Harness h(withTalk);
      h.get<QLineEdit>("Text1")->setText("C:\\temp\\talk.wav");
      h.get<QComboBox>("Combo1")->setCurrentIndex(5);
      QTest::keyClick(h.get<QWidget>("Image1"), key);
      QCOMPARE(h.system.shellCalls.size(), size_t{1});
      QCOMPARE(h.system.shellCalls[0].file, std::string("C:\\temp\\talk.wav"));

      QTest::keyClick(h.get<QWidget>("Image3"), key);
      QVERIFY(h.drive.exists("temp/vellora/talk-90.wav"));
      QCOMPARE(h.system.shellCalls.size(), size_t{2});

      QTest::keyClick(h.get<QWidget>("lblExplore"), key);
      QCOMPARE(h.system.shellCalls.size(), size_t{3});
      QCOMPARE(h.system.shellCalls[2].file, std::string("C:\\temp\\vellora\\"));

      h.get<QLineEdit>("Text1")->setText("C:\\temp\\");
      QTest::keyClick(h.get<QWidget>("Label3"), key);
      QCOMPARE(h.text("Text1"), QString("C:\\temp\\talk.wav"));

      QTest::keyClick(h.get<QWidget>("Label6"), key);
      QCOMPARE(h.dialogs.messages.size(), size_t{1});
      QCOMPARE(h.dialogs.messages[0], std::string(kHelpText));
    }
  }

  void pressActionConverts() {
    Harness h(withTalk);
    h.get<QLineEdit>("Text1")->setText("C:\\temp\\talk.wav");
    h.get<QComboBox>("Combo1")->setCurrentIndex(5);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.get<QWidget>("Image3"));
    QVERIFY(a && a->actionInterface());
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(h.drive.exists("temp/vellora/talk-90.wav"));
  }

  void returnInABoxConverts() {
    for (const char* box : {"Text1", "Text2", "Combo1"}) {
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        Harness h(withTalk);
        h.get<QLineEdit>("Text1")->setText("C:\\temp\\talk.wav");
        h.get<QComboBox>("Combo1")->setCurrentIndex(5);
        QTest::keyClick(h.get<QWidget>(box), key);
        QVERIFY2(h.drive.exists("temp/vellora/talk-90.wav"), box);
        QCOMPARE(h.system.shellCalls.size(), size_t{1});
        QCOMPARE(h.get<QComboBox>("Combo1")->currentText(), QString("90%"));
      }
    }
    // Other keys still edit and choose.
    Harness h(withTalk);
    QTest::keyClick(h.get<QWidget>("Combo1"), Qt::Key_Down);
    QCOMPARE(h.get<QComboBox>("Combo1")->currentText(), QString("95%"));
    QVERIFY(h.system.shellCalls.empty());
  }

  void linksAreReadableOnLightAndDarkPalettes() {
    const QPalette light = lightPalette(), dark = darkPalette();
    QVERIFY2(ratio(dark.color(QPalette::Link), dark.color(QPalette::Window)) < 4.5,
             "the dark theme's own link colour is too dim, which is what needs mending");
    Harness h;
    for (const QPalette& palette : {light, dark}) {
      h.form->setPalette(palette);
      for (const char* name : {"Label3", "lblExplore", "Label6"}) {
        const QPalette shown = h.get<QLabel>(name)->palette();
        const double r = ratio(shown.color(QPalette::Link), shown.color(QPalette::Window));
        QVERIFY2(r >= 4.5, qPrintable(QString("%1: %2:1").arg(name).arg(r)));
        QCOMPARE(shown.color(QPalette::Window), palette.color(QPalette::Window));
      }
    }
    // A link colour that already reads well is left as it is.
    QCOMPARE(qColour(readableColour(rgbOf(light.color(QPalette::Link)), rgbOf(light.color(QPalette::Window)), 4.5)),
             light.color(QPalette::Link));
  }

  // The frame round a focused action stands out from the window by 3:1, as
  // the window shows it on light and dark palettes.
  void focusFrameStandsOut() {
    Harness h;
    h.form->show();
    QApplication::setActiveWindow(h.form.get());
    QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    for (const QPalette& palette : {lightPalette(), darkPalette()}) {
      h.form->setPalette(palette);
      for (const char* name : {"Image3", "Label3"}) {
        QWidget* action = h.get<QWidget>(name);
        action->setFocus(Qt::TabFocusReason);
        QVERIFY(action->hasFocus());
        const QImage shot = h.form->grab().toImage();
        const QColor window = palette.color(QPalette::Window);
        // The frame's left edge, half way down the frame.
        const QRect r = action->geometry();
        const QColor frame = shot.pixelColor(r.left(), r.top() + (std::string(name) == "Image3" ? r.height() / 2 : 5));
        QVERIFY2(ratio(frame, window) >= 3.0,
                 qPrintable(QString("%1: %2:1 on %3").arg(name).arg(ratio(frame, window)).arg(window.name())));
      }
    }
  }

  // The loudspeakers' outline and waves stand out from the window by 3:1 on
  // a dark palette, and on a light one they are the classic picture.
  void loudspeakersStandOut() {
    Harness h;
    h.form->show();
    for (const QPalette& palette : {lightPalette(), darkPalette()}) {
      h.form->setPalette(palette);
      const QColor window = palette.color(QPalette::Window);
      for (const char* name : {"Image1", "Image3"}) {
        const QImage shot = h.get<QWidget>(name)->grab().toImage();
        const double r = edgeContrast(shot, window);
        QVERIFY2(r >= 3.0, qPrintable(QString("%1: %2:1 on %3").arg(name).arg(r).arg(window.name())));
      }
    }
    // The classic picture on the classic light grey and on Fusion's own.
    const QImage classic =
        QImage(QStringLiteral(VELLORA_PICTURES "/speaker.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (const QColor& light : {QColor(214, 211, 206), lightPalette().color(QPalette::Window)}) {
      QPalette palette = lightPalette();
      palette.setColor(QPalette::Window, light);
      h.form->setPalette(palette);
      QCOMPARE(h.get<QLabel>("Image1")->pixmap().toImage(), classic);
    }
  }

  // Screen readers find the controls the window shows, and none it hides.
  void hiddenControlsAreOutOfTheAccessibilityTree() {
    Harness h;
    h.form->show();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(h.form.get());
    QVERIFY(window);
    QStringList reached;
    for (int i = 0; i < window->childCount(); ++i) {
      QAccessibleInterface* child = window->child(i);
      QVERIFY(child);
      QCOMPARE(window->indexOfChild(child), i);
      reached << child->object()->objectName();
    }
    reached.sort();
    QCOMPARE(reached, QStringList({"Combo1", "Image1", "Image3", "Label1", "Label2", "Label3", "Label5", "Label6",
                                   "Text1", "Text2", "lblExplore", "lblInfo"}));
  }

  // A name that is not UTF-8 reaches the box escaped, from the command line,
  // a drop or the finder, and the copy is made of the very file.
  void namesThatAreNotUtf8() {
    Harness h;
    const std::string latin = "latin\xe9.wav";
    h.drive.mkdir("temp");
    h.drive.write("temp/" + latin, talk);
    const std::optional<std::string> start = startFile({h.drive.host("temp/" + latin)}, h.files.drives());
    QCOMPARE(start, std::optional<std::string>("C:\\temp\\latin\u241BE9.wav"));
    Form1 form(FormServices{h.files, h.shell, h.dialogs, h.files.drives(), h.system, h.clock}, *start);
    auto* text1 = form.findChild<QLineEdit*>("Text1");
    QCOMPARE(text1->text(), QString::fromUtf8("C:\\temp\\latin\u241BE9.wav"));
    form.findChild<QComboBox*>("Combo1")->setCurrentIndex(5);
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(h.drive.read("temp/vellora/latin\xe9-90.wav"), test::withRates(talk, 21, 39690, 158760));

    text1->clear();
    QMimeData mime;
    mime.setUrls({QUrl::fromEncoded(QByteArray("file://") + QByteArray::fromStdString(h.drive.host("temp/")).toPercentEncoding("/") + "latin%E9.wav")});
    drop(&form, &mime);
    QCOMPARE(text1->text(), QString::fromUtf8("C:\\temp\\latin\u241BE9.wav"));
    QVERIFY(h.dialogs.messages.empty());

    // The finder lists it so too.
    text1->setText("C:\\temp\\");
    QTest::mouseClick(form.findChild<QWidget*>("Label3"), Qt::LeftButton);
    QCOMPARE(text1->text(), QString::fromUtf8("C:\\temp\\latin\u241BE9.wav"));
  }

  void labelsWithoutHandlersDoNothing() {
    Harness h;
    for (const char* name : {"Label1", "Label2", "Label5", "lblInfo"}) h.click(name);
    h.get<QComboBox>("Combo1")->setCurrentIndex(1);
    QVERIFY(h.system.shellCalls.empty());
    QVERIFY(h.dialogs.messages.empty());
    QCOMPARE(h.form->windowTitle(), QString("Vellora"));
  }

  void dropsConvertTheFirstWavFile() {
    for (const char* target : {"Form1", "Text1"}) {
      Harness h(withTalk);
      QWidget* on = std::string(target) == "Form1" ? h.form.get() : h.get<QWidget>("Text1");
      h.get<QComboBox>("Combo1")->setCurrentIndex(5);
      const auto files = fileList({h.drive.host("temp/talk.wav"), h.drive.host("temp/other.wav")});
      QVERIFY(dragAccepted(on, files.get()));
      drop(on, files.get());
      QCOMPARE(h.text("Text1"), QString("C:\\temp\\talk.wav"));
      QVERIFY(h.drive.exists("temp/vellora/talk-90.wav"));
      QCOMPARE(h.system.shellCalls.size(), size_t{1});
    }
  }

  void dropsThatAreIgnored() {
    Harness h(withTalk);
    h.get<QLineEdit>("Text1")->setText("C:\\temp\\kept.wav");
    h.drive.write("temp/NOTES.WAV", "x");  // no ".wav", and no recording
    h.drive.write("temp/notes.txt", "x");
    QMimeData text;
    text.setText("C:\\temp\\talk.wav");
    const auto upper = fileList({h.drive.host("temp/NOTES.WAV")});
    const auto notesFirst = fileList({h.drive.host("temp/notes.txt"), h.drive.host("temp/talk.wav")});
    for (QWidget* on : {static_cast<QWidget*>(h.form.get()), h.get<QWidget>("Text1")}) {
      for (const QMimeData* mime : {static_cast<const QMimeData*>(&text), static_cast<const QMimeData*>(upper.get()),
                                    static_cast<const QMimeData*>(notesFirst.get())}) {
        QVERIFY(!dragAccepted(on, mime));
        drop(on, mime);
      }
    }
    QCOMPARE(h.text("Text1"), QString("C:\\temp\\kept.wav"));
    QVERIFY(h.system.shellCalls.empty());
    QVERIFY(h.dialogs.messages.empty());
    QVERIFY(!h.drive.exists("temp/vellora/info.xls"));
  }

  void hiddenMediaControlsAreWired() {
    Harness h;
    auto* timer = h.get<QTimer>("Timer1");
    timer->start();
    h.get<QPushButton>("Command2")->click();
    QVERIFY(!timer->isActive());
    QVERIFY2(h.system.mciCommands.empty(), "no audio is named, so Stop sends nothing");

    h.get<QLineEdit>("Text3")->setText("play thisaudio");
    h.get<QPushButton>("Command3")->click();
    QVERIFY(h.system.mciCommands.empty());

    QTest::mouseClick(h.get<QWidget>("Image4"), Qt::LeftButton);
    QTest::mouseClick(h.get<QWidget>("Image5"), Qt::LeftButton);
    QCOMPARE(h.system.mciCommands, (std::vector<std::string>{"pause thisaudio", "resume thisaudio"}));
    QVERIFY(h.get<QWidget>("Image5")->isHidden());

    h.form->Timer1_Timer();
    QCOMPARE(h.get<QLabel>("lblTime")->text(), QString("00:00"));
  }

  // Past half a second a copy shows its progress in a modal dialog; its
  // Cancel, or Escape, stops the copy, which leaves nothing and says nothing.
  void longCopyShowsProgressThatCancels_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
  }
  void longCopyShowsProgressThatCancels() {
    QFETCH(bool, escape);
    SlowHarness h;
    h.files.stepMs = 100;
    struct Seen {
      bool shown;
      int value;
      QString label;
    };
    std::vector<Seen> seen;
    h.files.afterStep = [&](int) {
      QProgressDialog* d = h.progress();
      seen.push_back(d ? Seen{d->isVisible(), d->value(), d->labelText()} : Seen{false, -1, {}});
      if (seen.size() == 8) {
        QVERIFY(d);
        if (escape) QTest::keyClick(d, Qt::Key_Escape);
        else QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
      }
    };
    h.convert();

    QCOMPARE(seen.size(), size_t{8});
    for (std::size_t i = 0; i < 5; ++i) QVERIFY2(!seen[i].shown, "no dialog within half a second");
    QVERIFY(seen[5].shown);
    QCOMPARE(seen[5].value, 50);
    QCOMPARE(seen[5].label, QString("Copying talk.wav"));
    QVERIFY(seen[7].shown);
    QVERIFY(seen[7].value > seen[5].value);
    QVERIFY(!h.progress());
    QVERIFY(h.dialogs.messages.empty());
    QVERIFY(h.system.shellCalls.empty());
    QCOMPARE(h.form->windowTitle(), QString("Vellora"));
    QCOMPARE(h.drive.list("temp/vellora"), std::vector<std::string>{});
    QCOMPARE(h.drive.read("temp/talk.wav"), talk);
  }

  // The dialog is modal to the window alone and goes when the copy ends.
  void progressDialogBelongsToTheWindow() {
    SlowHarness h;
    h.files.stepMs = 100;
    bool checked = false;
    h.files.afterStep = [&](int) {
      QProgressDialog* d = h.progress();
      if (!d || checked) return;
      checked = true;
      QCOMPARE(d->windowModality(), Qt::WindowModal);
      QCOMPARE(d->parentWidget(), h.form.get());
      QCOMPARE(QApplication::activeModalWidget(), d);
    };
    h.convert();
    QVERIFY(checked);
    QVERIFY(!h.progress());
    QCOMPARE(h.drive.read("temp/vellora/talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
    QCOMPARE(h.system.shellCalls.size(), size_t{1});
    QVERIFY(h.dialogs.messages.empty());
  }

  // A copy done within half a second shows no dialog at all.
  void shortCopyShowsNoProgress() {
    SlowHarness h;
    h.files.stepMs = 40;
    bool appeared = false;
    h.files.afterStep = [&](int) { appeared = appeared || h.progress(); };
    h.convert();
    QVERIFY(!appeared);
    QVERIFY(!h.progress());
    QCOMPARE(h.drive.read("temp/vellora/talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
    QVERIFY(h.dialogs.messages.empty());
  }

  void clockFollowsTheLocale() {
    const auto fixed = [] { return QDateTime(QDate(2026, 12, 8), QTime(13, 4, 5)); };
    QCOMPARE(QtClock(fixed, QLocale("en_US")).presentDateTime(), std::string("12/8/26 1:04:05 PM"));
    QCOMPARE(QtClock(fixed, QLocale("de_DE")).presentDateTime(), std::string("08.12.26 13:04:05"));
  }

  void pauseReportsTheFailedCommand() {
    test::TempDrive drive;
    HostFileSystem files{DriveMap::fromEnvironment()};
    HostModule1 system(files.drives());
    ShellOpener shell(system, "C:\\tools");
    test::ScriptedWindow dialogs;
    system.setErrorDisplay([&dialogs](const std::string& text) { dialogs.message(text); });
    QtClock clock;
    Form1 form({files, shell, dialogs, files.drives(), system, clock});
    form.Image4_Click();
    form.Image5_Click();
    QCOMPARE(dialogs.messages.size(), size_t{2});
    QCOMPARE(dialogs.messages[0], std::string("The specified device is not open or is not recognized by MCI."));
    QVERIFY(form.findChild<QWidget*>("Image5")->isHidden());
  }
};

QTEST_MAIN(Form1Test)
#include "window_test.moc"
