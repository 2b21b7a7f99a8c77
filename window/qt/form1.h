#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <string>

#include "window/form_logic.h"

class QMimeData;
class QProgressDialog;
class QTimer;

namespace vellora {

// The one window, in Qt: the controls of the design table, showing what
// Form1Logic does. The operations and handlers are Form1Logic's.
class Form1 : public QWidget, public Form1Logic {
  Q_OBJECT
 public:
  // `startFile`, a system path, goes into the input box instead of the
  // newest recording, as "Open with" asks; nothing is converted until the
  // user says so.
  explicit Form1(FormServices services, std::string startFile = {}, QWidget* parent = nullptr);
  ~Form1() override;

  // The drop's file list, as the logic takes it.
  static DropData dropData(const QMimeData* mime);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  // Places every control at its twips, scaled with the application font.
  void layOut();
  void wireEvents();
  void makeKeyboardReachable();
  // Gives the links and the loudspeakers colours that stand out from the
  // window's background.
  void fitColours();
  QWidget* control(Control id) const { return controls_[static_cast<std::size_t>(id)]; }
  template <class Widget>
  Widget* control(Control id) const {
    return static_cast<Widget*>(control(id));
  }
  QRect pixelsOf(const Twips& place) const;

  // Form1View.
  std::string boxText(Control box) override;
  void setBoxText(Control box, const std::string& text) override;
  void setLabelCaption(Control label, const std::string& caption) override;
  void setFormCaption(const std::string& caption) override;
  void fillList(std::span<const char* const> entries, int selected) override;
  void showControl(Control id, bool visible) override;
  void placeControl(Control id, const Twips& place) override;
  void runTimer(bool running) override;
  void openProgress(const std::string& fileName) override;
  bool advanceProgress(int percent) override;
  void closeProgress() override;

  std::array<QWidget*, kControlCount> controls_{};
  QTimer* Timer1 = nullptr;
  double scale_ = 1.0;
  QPointer<QProgressDialog> copyDialog_;
};

// How much larger than the classic 8-point font the application font is, by
// height, as dialog units follow a dialog's font; never below 1.
double fontScale(const QFont& font);

}  // namespace vellora
