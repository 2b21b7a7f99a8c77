#include "window/form_logic.h"

#include <algorithm>
#include <utility>

#include "shellfiles/file_helpers.h"
#include "shellfiles/latest.h"
#include "speed/format_table.h"
#include "window/form_text.h"

namespace vellora {

namespace {

std::size_t indexOf(Control control) { return static_cast<std::size_t>(control); }

// The input box as the finder reads and sets it.
class ViewBox : public InputBox {
 public:
  ViewBox(Form1View& view, Control box) : view_(view), box_(box) {}
  std::string text() override { return view_.boxText(box_); }
  void setText(const std::string& text) override { view_.setBoxText(box_, text); }

 private:
  Form1View& view_;
  Control box_;
};

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int percentOf(std::uint64_t done, std::uint64_t total) {
  return total == 0 ? 100 : static_cast<int>(std::min(done, total) * 100 / total);
}

}  // namespace

std::optional<std::string> startFile(const std::vector<std::string>& arguments, const HostPaths& paths,
                                     std::string* why) {
  if (arguments.empty()) {
    if (why) *why = "no file was given";
    return std::nullopt;
  }
  return paths.toSystem(arguments.front(), why);
}

Form1Logic::Form1Logic(FormServices services, std::string startFile)
    : services_(services),
      startFile_(std::move(startFile)),
      job_(services.files, services.shell, *this, services.dialogs),
      media_(services.system, *this),
      places_(kControlCount) {
  for (const ControlDesign& c : kControls) places_[indexOf(c.id)] = c.place;
}

Form1Logic::~Form1Logic() = default;

const Twips& Form1Logic::placeOf(Control control) const { return places_[indexOf(control)]; }

// Operations.

void Form1Logic::checkfile(const std::string& sfilein, const std::string& sdirout) {
  job_.checkfile(sfilein, sdirout);
}

void Form1Logic::getLatest() {
  ViewBox box(*this, Control::Text1);
  vellora::getLatest(services_.files, box);
}

void Form1Logic::shellopen(std::string& url, std::int16_t mode) { services_.shell.shellopen(url, mode); }

void Form1Logic::openAudio(std::string& fname) { (void)services_.shell.openAudio(fname); }

void Form1Logic::puttofile(const std::string& swhat, const std::string& sfile, std::int32_t pt) {
  vellora::puttofile(services_.files, swhat, sfile, pt);
}

std::string Form1Logic::loadfromfile(const std::string& fname) {
  return vellora::loadfromfile(services_.files, fname);
}

void Form1Logic::closeAudio() { media_.closeAudio(); }
void Form1Logic::pauseAudio() { media_.pauseAudio(); }
void Form1Logic::resumeAudio() { media_.resumeAudio(); }
std::int32_t Form1Logic::getPosition() { return media_.getPosition(); }

void Form1Logic::archivedata() {
  ArchiveServices archive{services_.files, services_.shell, services_.dialogs, services_.clock};
  // Nothing changes Label1's caption: the page is headed with its design text.
  vellora::archivedata(archive, designOf(Control::Label1).text);
}

// Event handlers.

void Form1Logic::Form_Load() {
  places_[indexOf(Control::Image5)].left = placeOf(Control::Image4).left;
  placeControl(Control::Image5, placeOf(Control::Image5));
  showControl(Control::Image5, false);
  // From here on a failing step is skipped without a word.
  (void)services_.files.makeDirectory("C:\\temp\\vellora");
  fillList(kSpeedEntries, kStartSpeedEntry);
  if (startFile_.empty()) getLatest();
  else setBoxText(Control::Text1, startFile_);
}

void Form1Logic::Image3_Click() {
  const std::string sfilein = pathIn(Control::Text1);
  checkfile(sfilein, pathIn(Control::Text2));
}

void Form1Logic::Image1_Click() {
  playFileName_ = pathIn(Control::Text1);
  if (playFileName_.empty()) {
    services_.dialogs.message("designate an input filename");
    return;
  }
  openAudio(playFileName_);
}

std::optional<std::string> Form1Logic::droppedFile(const DropData& data) const {
  // Only the first file counts.
  if (!data || data->empty()) return std::nullopt;
  std::optional<std::string> path = services_.paths.toSystem(data->front());
  if (!path || path->find(".wav") != std::string::npos) return path;
  const Opened<InputFile> file = services_.files.openInput(*path);
  const FormatKind* kind = file.file ? recognise(*file.file) : nullptr;
  if (kind == nullptr || kind->scan == nullptr) return std::nullopt;
  return path;
}

void Form1Logic::Form_OLEDragDrop(const DropData& data) {
  const std::optional<std::string> path = droppedFile(data);
  if (!path) return;
  setBoxText(Control::Text1, *path);
  Image3_Click();
}

void Form1Logic::Text1_OLEDragDrop(const DropData& data) { Form_OLEDragDrop(data); }

void Form1Logic::Label3_Click() {
  (void)pathIn(Control::Text1);
  getLatest();
}

void Form1Logic::lblExplore_Click() {
  std::string url = pathIn(Control::Text2);
  shellopen(url, SW_HIDE);
}

void Form1Logic::Label6_Click() { services_.dialogs.message(kHelpText); }
void Form1Logic::Command2_Click() { closeAudio(); }
void Form1Logic::Image4_Click() { pauseAudio(); }
void Form1Logic::Image5_Click() { resumeAudio(); }
void Form1Logic::Command3_Click() { media_.Command3_Click(); }
void Form1Logic::Timer1_Timer() { media_.Timer1_Timer(); }

std::string Form1Logic::pathIn(Control box) {
  const std::string typed = boxText(box);
  const std::optional<std::string> system = services_.paths.typedHostPath(typed);
  if (!system) return typed;
  setBoxText(box, *system);
  return *system;
}

// The window as the speed-change job sees it.

std::string Form1Logic::percentText() { return boxText(Control::Combo1); }
void Form1Logic::setCaption(const std::string& caption) { setFormCaption(caption); }
void Form1Logic::setInfo(const std::string& info) { setLabelCaption(Control::lblInfo, info); }

bool Form1Logic::copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) {
  const std::int64_t now = services_.clock.steadyMilliseconds();
  if (!copyStarted_) copyStarted_ = now;
  if (!progressShown_) {
    // Short copies show nothing; neither does one that has just finished.
    if (done >= total || now - *copyStarted_ < kProgressDelayMs) return true;
    openProgress(fileNameOf(file));
    progressShown_ = true;
  }
  return advanceProgress(percentOf(done, total));
}

void Form1Logic::copyEnded() {
  copyStarted_.reset();
  if (!progressShown_) return;
  progressShown_ = false;
  closeProgress();
}

// The window as the media commands see it.

void Form1Logic::setTimerEnabled(bool enabled) { runTimer(enabled); }
void Form1Logic::hideResumeImage() { showControl(Control::Image5, false); }
void Form1Logic::setTimeCaption(const std::string& caption) { setLabelCaption(Control::lblTime, caption); }
std::string Form1Logic::commandText() { return boxText(Control::Text3); }

}  // namespace vellora
