#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_page.h"
#include "media/media_controls.h"
#include "shellfiles/clock.h"
#include "shellfiles/dialogs.h"
#include "shellfiles/file_system.h"
#include "shellfiles/host_paths.h"
#include "shellfiles/module1.h"
#include "shellfiles/shell_open.h"
#include "speed/speed_job.h"
#include "window/form_controls.h"

namespace vellora {

// What the window works with; the program and the tests supply it.
struct FormServices {
  FileSystem& files;
  ShellOpener& shell;
  Dialogs& dialogs;  // the message and the prompt, in the toolkit's boxes
  const HostPaths& paths;
  Module1& system;
  Clock& clock;
};

// What a drop brings: the dropped files' host paths in the order the
// toolkit delivers them, or nothing when the data is not a list of files.
using DropData = std::optional<std::vector<std::string>>;

// What the window's logic asks of a toolkit's window: its controls' texts,
// and what only the toolkit can show.
class Form1View {
 public:
  virtual ~Form1View() = default;

  // What a box holds (Text1, Text2, Text3) or the list shows (Combo1).
  virtual std::string boxText(Control box) = 0;
  virtual void setBoxText(Control box, const std::string& text) = 0;
  // A label's caption (lblInfo, lblTime).
  virtual void setLabelCaption(Control label, const std::string& caption) = 0;
  // The window's own caption.
  virtual void setFormCaption(const std::string& caption) = 0;
  // Puts `entries` into the list Combo1 and selects the one at `selected`.
  virtual void fillList(std::span<const char* const> entries, int selected) = 0;
  virtual void showControl(Control control, bool visible) = 0;
  virtual void placeControl(Control control, const Twips& place) = 0;
  virtual void runTimer(bool running) = 0;  // Timer1
  // The progress of a long copy over the window, which takes no input
  // meanwhile: "Copying NAME", a percentage, and a Cancel button.
  virtual void openProgress(const std::string& fileName) = 0;
  // Shows `percent` and lets the windows repaint; false once the user has
  // cancelled, or the progress has gone with its window.
  virtual bool advanceProgress(int percent) = 0;
  virtual void closeProgress() = 0;
};

// The start-up rule for the program's arguments (its options taken out):
// the first is the start file, a host path, relative ones taken from the
// current directory. Its system path, or nullopt, with the reason in `why`,
// when there is none or no drive holds it: the window then offers the newest
// recording.
std::optional<std::string> startFile(const std::vector<std::string>& arguments, const HostPaths& paths,
                                     std::string* why = nullptr);

// The one window's logic, free of any toolkit: every operation and handler of
// Form1, its start-up and the rules of its events. The Qt and the Win32 Form1
// derive from it, so that the operations stay methods of Form1, and show it
// through Form1View.
class Form1Logic : protected Form1View, private JobWindow, private MediaWindow {
 public:
  ~Form1Logic() override;
  Form1Logic(const Form1Logic&) = delete;
  Form1Logic& operator=(const Form1Logic&) = delete;

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
  void Form_OLEDragDrop(const DropData& data);
  void Text1_OLEDragDrop(const DropData& data);
  void Label3_Click();
  void lblExplore_Click();
  void Label6_Click();
  void Command2_Click();
  void Image4_Click();
  void Image5_Click();
  void Command3_Click();
  void Timer1_Timer();

  // The first dropped file as a system path, when the drop is a file list
  // and that path holds ".wav" or the file is a recording of a kind that
  // converts: what a drop converts. The windows take a drag only then.
  std::optional<std::string> droppedFile(const DropData& data) const;

  const Twips& placeOf(Control control) const;
  const std::string& playFileName() const { return playFileName_; }
  std::int32_t lastPercent() const { return job_.lastPercent(); }
  // A copy shows its progress once it has run this long.
  static constexpr std::int64_t kProgressDelayMs = 500;

 protected:
  // `startFile`, a system path, goes into the input box at start instead of
  // the newest recording. The toolkit's Form1 runs Form_Load once its
  // controls exist.
  Form1Logic(FormServices services, std::string startFile);

 private:
  // The text of a path box; a host path typed there (as the platform tells)
  // is put on the drive map first, and the box shows its system path.
  std::string pathIn(Control box);

  // JobWindow, for the speed-change job.
  std::string percentText() override;
  void setCaption(const std::string& caption) override;
  void setInfo(const std::string& info) override;
  bool copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) override;
  void copyEnded() override;
  // MediaWindow, for the media commands.
  void setTimerEnabled(bool enabled) override;
  void hideResumeImage() override;
  void setTimeCaption(const std::string& caption) override;
  std::string commandText() override;

  FormServices services_;
  std::string startFile_;
  SpeedJob job_;
  MediaControls media_;
  std::string playFileName_;
  std::vector<Twips> places_;
  std::optional<std::int64_t> copyStarted_;  // the clock's reading at the copy's first progress
  bool progressShown_ = false;
};

}  // namespace vellora
