#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "shellfiles/dialogs.h"
#include "shellfiles/file_system.h"
#include "shellfiles/host_paths.h"
#include "shellfiles/module1.h"
#include "shellfiles/shell_open.h"
#include "archive/archive_page.h"
#include "media/media_controls.h"
#include "speed/speed_job.h"
#include "window/form_text.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressDialog;
class QPushButton;
class QTimer;

namespace vellora {

class ClickableLabel;
class FileDropLineEdit;

// What the window works with; the program and the tests supply it.
struct Form1Services {
  FileSystem& files;
  ShellOpener& shell;
  Dialogs& dialogs;
  const HostPaths& paths;
  Module1& system;
  Clock& clock;
};

// The one window. Its operations keep their names and call the core.
class Form1 : public QWidget, private JobWindow, private MediaWindow {
  Q_OBJECT
 public:
  explicit Form1(Form1Services services, QWidget* parent = nullptr);
  // Starts with startFile (a drive path) in the input box instead of the newest
  // recording, as "Open with" asks; nothing is converted until the user says so.
  Form1(Form1Services services, std::string startFile, QWidget* parent = nullptr);
  ~Form1() override;

  // Operations.
  void checkfile(const std::string& sfilein, const std::string& sdirout);
  void getLatest();
  void shellopen(std::string& url, std::int16_t mode);
  void openAudio(std::string& fname);
  void puttofile(const std::string& swhat, const std::string& sfile, std::int32_t pt);
  std::string loadfromfile(const std::string& fname);
  void closeAudio();
  void pauseAudio();
  void resumeAudio();
  std::int32_t getPosition();
  // Files the measurement files into an archive folder with an index page;
  // no control invokes it.
  void archivedata();

  // Event handlers.
  void Form_Load();
  void Image3_Click();
  void Image1_Click();
  void Form_OLEDragDrop(const QMimeData* mime);
  void Text1_OLEDragDrop(const QMimeData* mime);
  void Label3_Click();
  void lblExplore_Click();
  void Label6_Click();
  void Command2_Click();
  void Image4_Click();
  void Image5_Click();
  void Command3_Click();
  void Timer1_Timer();

  const std::string& playFileName() const { return playFileName_; }
  static constexpr std::int64_t kProgressDelayMs = 500;
  std::int32_t lastPercent() const { return job_.lastPercent(); }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Return in the three boxes converts, as the convert picture does.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  // Places every control at its twips, scaled with the application font.
  void layOut();
  void wireEvents();
  void makeKeyboardReachable();
  // Gives the links a link colour readable on the window's background.
  void fitLinkColour();
  // The first dropped file as a system path, when the drop is a file list
  // and that path holds ".wav".
  std::optional<std::string> droppedWavFile(const QMimeData* mime) const;
  bool acceptsDrop(const QMimeData* mime) const;

  // JobWindow, for the speed-change job.
  std::string percentText() override;
  void setCaption(const std::string& caption) override;
  void setInfo(const std::string& info) override;
  // A copy that runs longer than kProgressDelayMs shows a modal dialog whose
  // Cancel stops it; the window repaints meanwhile.
  bool copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) override;
  void copyEnded() override;
  // MediaWindow, for the media commands.
  void setTimerEnabled(bool enabled) override;
  void hideResumeImage() override;
  void setTimeCaption(const std::string& caption) override;
  std::string commandText() override;

  Form1Services services_;
  std::string startFile_;
  SpeedJob job_;
  MediaControls media_;
  std::string playFileName_;
  std::optional<std::int64_t> copyStarted_;  // the clock's reading at the copy's first progress
  QPointer<QProgressDialog> copyDialog_;

  QLabel* Label1 = nullptr;
  FileDropLineEdit* Text1 = nullptr;
  ClickableLabel* Image1 = nullptr;
  ClickableLabel* Label3 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* Text2 = nullptr;
  ClickableLabel* lblExplore = nullptr;
  QLabel* Label5 = nullptr;
  QComboBox* Combo1 = nullptr;
  ClickableLabel* Image3 = nullptr;
  QPushButton* Command2 = nullptr;
  ClickableLabel* Image4 = nullptr;
  ClickableLabel* Image5 = nullptr;
  QLabel* lblTime = nullptr;
  ClickableLabel* Label6 = nullptr;
  QLabel* lblInfo = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* Text3 = nullptr;
  QPushButton* Command3 = nullptr;
  QTimer* Timer1 = nullptr;
};

// How much larger than the classic 8-point font the application font is, by
// height, as dialog units follow a dialog's font; never below 1.
double fontScale(const QFont& font);

// The link colour, moved towards white on a dark background or black on a
// light one until it stands out from the background by 4.5:1.
QColor readableLinkColour(const QColor& link, const QColor& background);
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace vellora
