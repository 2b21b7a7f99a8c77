// The window's logic against a fake view: every handler and its rules, the
// same on Linux and under Wine, whatever toolkit shows them.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "support/fakes.h"
#include "support/flac_builder.h"
#include "support/memory_files.h"
#include "support/slow_files.h"
#include "support/wav_builder.h"
#include "window/form_logic.h"
#include "window/form_text.h"

namespace vellora {
namespace {

using test::MemoryFiles;

// Fixed date, and a steady clock that a test moves by hand.
struct HandClock : Clock {
  std::string presentDateTime() override { return "8.12.2026 13:04:05"; }
  std::int64_t steadyMilliseconds() override { return now ? *now : 0; }
  const std::int64_t* now = nullptr;
};

// Form1 as its toolkit would show it: what it was last told, and the
// progress it was asked to show.
class FakeForm : public Form1Logic {
 public:
  FakeForm(FormServices services, std::string startFile = {}) : Form1Logic(services, std::move(startFile)) {
    for (const ControlDesign& c : kControls) {
      texts[c.id] = c.text;
      visible[c.id] = c.visible;
    }
    Form_Load();
  }

  std::map<Control, std::string> texts;
  std::map<Control, bool> visible;
  std::map<Control, Twips> placed;
  std::vector<std::string> list;
  int selected = -1;
  std::string caption{kFormCaption};
  bool timerRunning = false;
  struct Progress {
    std::string opened;           // the file name it was opened for
    std::vector<int> percents;    // each advance
    int cancelAfter = -1;         // the number of advances after which the user cancels
    bool closed = false;
  } progress;
  bool progressOpen = false;

 private:
  std::string boxText(Control box) override {
    return box == Control::Combo1 ? (selected < 0 ? std::string() : list[static_cast<std::size_t>(selected)])
                                  : texts[box];
  }
  void setBoxText(Control box, const std::string& text) override { texts[box] = text; }
  void setLabelCaption(Control label, const std::string& text) override { texts[label] = text; }
  void setFormCaption(const std::string& text) override { caption = text; }
  void fillList(std::span<const char* const> entries, int select) override {
    list.assign(entries.begin(), entries.end());
    selected = select;
  }
  void showControl(Control control, bool show) override { visible[control] = show; }
  void placeControl(Control control, const Twips& place) override { placed[control] = place; }
  void runTimer(bool running) override { timerRunning = running; }
  void openProgress(const std::string& fileName) override {
    EXPECT_FALSE(progressOpen);
    progress.opened = fileName;
    progressOpen = true;
  }
  bool advanceProgress(int percent) override {
    EXPECT_TRUE(progressOpen);
    progress.percents.push_back(percent);
    return static_cast<int>(progress.percents.size()) != progress.cancelAfter;
  }
  void closeProgress() override {
    EXPECT_TRUE(progressOpen);
    progressOpen = false;
    progress.closed = true;
  }

 public:
  void choose(int entry) { selected = entry; }
};

const std::string talk = test::canonicalWav(44100, 2, 16, 4000);

void withTalk(MemoryFiles& files) {
  files.directories.insert("C:\\temp");
  files.write("C:\\temp\\talk.wav", talk, 10);
}

// One window over a memory drive C:, by default holding C:\temp\talk.wav.
template <class Files = MemoryFiles>
struct Harness {
  explicit Harness(std::string startFile = {}, void (*prepare)(MemoryFiles&) = withTalk) {
    prepare(files);
    clock.now = &now;
    form = std::make_unique<FakeForm>(FormServices{files, shell, dialogs, paths, system, clock}, std::move(startFile));
  }
  std::string& text(Control c) { return form->texts[c]; }

  Files files;
  test::SlashPaths paths;
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow dialogs;
  std::int64_t now = 0;
  HandClock clock;
  std::unique_ptr<FakeForm> form;
};

TEST(Form1Logic, StartsWithItsDesignStateAndTheNewestRecording) {
  Harness h;
  EXPECT_EQ(h.form->list, (std::vector<std::string>{"?%", "120%", "110%", "100%", "95%", "90%", "85%", "80%"}));
  EXPECT_EQ(h.form->selected, 3);
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\talk.wav");
  EXPECT_EQ(h.text(Control::Text2), "C:\\temp\\vellora\\");
  EXPECT_EQ(h.text(Control::lblInfo), "");
  EXPECT_EQ(h.form->caption, "Vellora");
  EXPECT_TRUE(h.files.directories.count("C:\\temp\\vellora"));
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_FALSE(h.form->timerRunning);
  // The resume picture lies on the pause picture, both hidden.
  EXPECT_EQ(h.form->placeOf(Control::Image5).left, 1080);
  EXPECT_EQ(h.form->placed[Control::Image5].left, 1080);
  EXPECT_EQ(h.form->placed[Control::Image5].top, h.form->placeOf(Control::Image4).top);
  EXPECT_FALSE(h.form->visible[Control::Image4]);
  EXPECT_FALSE(h.form->visible[Control::Image5]);
}

TEST(Form1Logic, StartsWithoutDriveCSilently) {
  Harness<> h({}, [](MemoryFiles& files) { files.directories.clear(); });
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\");
  EXPECT_EQ(h.form->selected, 3);
  EXPECT_TRUE(h.dialogs.messages.empty());
}

// "Open with": the file shows in the input box, the newest recording is not
// looked up and nothing is converted until asked.
TEST(Form1Logic, StartFileFillsTheInputBox) {
  test::SlashPaths paths;
  std::string why;
  EXPECT_EQ(startFile({"/c/music/take.wav", "/c/other.wav"}, paths), "C:\\music\\take.wav");
  EXPECT_FALSE(startFile({}, paths));
  EXPECT_FALSE(startFile({"/elsewhere/take.wav"}, paths, &why));
  EXPECT_EQ(why, "its path lies on no drive");

  Harness h("C:\\music\\take.wav");
  EXPECT_EQ(h.text(Control::Text1), "C:\\music\\take.wav");
  EXPECT_EQ(h.form->selected, 3);
  EXPECT_TRUE(h.files.directories.count("C:\\temp\\vellora"));
  EXPECT_FALSE(h.files.exists("C:\\temp\\vellora\\take-100.wav"));
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_TRUE(h.dialogs.messages.empty());
}

TEST(Form1Logic, ConvertImageRunsTheJobOnTheBoxes) {
  Harness h;
  h.form->choose(5);
  h.form->Image3_Click();
  EXPECT_EQ(h.form->caption, "Vellora --> C:\\temp\\vellora\\talk-90.wav");
  EXPECT_EQ(h.text(Control::lblInfo), "44100bps   16-bit");
  EXPECT_EQ(h.files.read("C:\\temp\\vellora\\talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(h.files.read("C:\\temp\\talk.wav"), talk);
  ASSERT_EQ(h.system.shellCalls.size(), 1u);
  EXPECT_EQ(h.system.shellCalls[0].file, "C:\\temp\\vellora\\talk-90.wav");
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\talk.wav");
  EXPECT_EQ(h.form->lastPercent(), 90);

  // Another output directory, from its box.
  h.files.directories.insert("C:\\out");
  h.text(Control::Text2) = "C:\\out";
  h.form->Image3_Click();
  EXPECT_TRUE(h.files.exists("C:\\out\\talk-90.wav"));
}

TEST(Form1Logic, QuestionMarkAsksForTheSpeed) {
  Harness h;
  h.form->choose(0);
  h.dialogs.answers = {"75"};
  h.form->Image3_Click();
  ASSERT_EQ(h.dialogs.prompts.size(), 1u);
  EXPECT_EQ(h.dialogs.prompts[0].text, "Percent speed?");
  EXPECT_EQ(h.dialogs.prompts[0].defaultAnswer, "90");
  EXPECT_TRUE(h.files.exists("C:\\temp\\vellora\\talk-75.wav"));
}

TEST(Form1Logic, PlayImage) {
  Harness h;
  h.text(Control::Text1) = "";
  h.form->Image1_Click();
  EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{"designate an input filename"});
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_EQ(h.form->playFileName(), "");

  h.text(Control::Text1) = "in.wav";
  h.form->Image1_Click();
  ASSERT_EQ(h.system.shellCalls.size(), 1u);
  EXPECT_EQ(h.system.shellCalls[0].file, "C:\\tools\\in.wav");
  EXPECT_EQ(h.system.shellCalls[0].show, 0);
  EXPECT_EQ(h.form->playFileName(), "C:\\tools\\in.wav");
  EXPECT_EQ(h.text(Control::Text1), "in.wav");
}

TEST(Form1Logic, LatestExploreAndHelpLinks) {
  Harness h;
  h.files.write("C:\\temp\\new.wav", "RIFF", 20);
  h.form->Label3_Click();
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\new.wav");
  EXPECT_TRUE(h.system.shellCalls.empty());

  h.form->lblExplore_Click();
  h.text(Control::Text2) = "";
  h.form->lblExplore_Click();
  ASSERT_EQ(h.system.shellCalls.size(), 2u);
  EXPECT_EQ(h.system.shellCalls[0].file, "C:\\temp\\vellora\\");
  EXPECT_EQ(h.system.shellCalls[0].show, 0);
  EXPECT_EQ(h.system.shellCalls[1].file, "");

  h.form->Label6_Click();
  EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{kHelpText});
}

// A host path typed where a system path belongs goes on the drive map, and
// the box then shows it so; other paths keep the application-relative rule.
TEST(Form1Logic, TypedHostPathsGoOnTheDriveMap) {
  Harness h;
  h.form->choose(5);
  h.text(Control::Text1) = "/c/temp/talk.wav";
  h.files.directories.insert("C:\\out");
  h.text(Control::Text2) = "/c/out/";
  h.form->Image3_Click();
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\talk.wav");
  EXPECT_EQ(h.text(Control::Text2), "C:\\out\\");
  EXPECT_TRUE(h.files.exists("C:\\out\\talk-90.wav"));
  EXPECT_TRUE(h.dialogs.messages.empty());

  h.text(Control::Text1) = "/c/temp/talk.wav";
  h.form->Image1_Click();
  EXPECT_EQ(h.system.shellCalls.back().file, "C:\\temp\\talk.wav");
  h.text(Control::Text1) = "/c/temp/";
  h.form->Label3_Click();
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\talk.wav");
  h.text(Control::Text2) = "/c/out";
  h.form->lblExplore_Click();
  EXPECT_EQ(h.system.shellCalls.back().file, "C:\\out");

  h.text(Control::Text1) = "talk.wav";
  h.form->Image1_Click();
  EXPECT_EQ(h.system.shellCalls.back().file, "C:\\tools\\talk.wav");
  EXPECT_EQ(h.text(Control::Text1), "talk.wav");
}

TEST(Form1Logic, DropsConvertTheFirstFileWhenItHoldsWav) {
  Harness h;
  h.form->choose(5);
  h.form->Form_OLEDragDrop(std::vector<std::string>{"/c/temp/talk.wav", "/c/temp/other.wav"});
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\talk.wav");
  EXPECT_TRUE(h.files.exists("C:\\temp\\vellora\\talk-90.wav"));
  EXPECT_EQ(h.system.shellCalls.size(), 1u);

  // A drop on the input box does the same; a path that only holds ".wav"
  // somewhere is taken too, and the job says what it makes of it.
  h.files.directories.insert("C:\\music.wav.d");
  h.files.write("C:\\music.wav.d\\readme.txt", "words");
  h.form->Text1_OLEDragDrop(std::vector<std::string>{"/c/music.wav.d/readme.txt"});
  EXPECT_EQ(h.text(Control::Text1), "C:\\music.wav.d\\readme.txt");
  ASSERT_EQ(h.dialogs.messages.size(), 1u);
  EXPECT_NE(h.dialogs.messages[0].find("C:\\music.wav.d\\readme.txt"), std::string::npos);

  // A recording of another kind is taken by its content, and named as the command line names it.
  const std::string flac = test::FlacBuilder().frames(2).bytes();
  h.files.write("C:\\temp\\TAKE.FLAC", flac);
  h.form->Form_OLEDragDrop(std::vector<std::string>{"/c/temp/TAKE.FLAC"});
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\TAKE.FLAC");
  EXPECT_TRUE(h.files.exists("C:\\temp\\vellora\\TAKE-90.FLAC"));
}

TEST(Form1Logic, DropsThatAreIgnored) {
  Harness h;
  h.text(Control::Text1) = "C:\\temp\\kept.wav";
  const DropData ignored[] = {
      std::nullopt,                                                     // text, not a file list
      std::vector<std::string>{},                                       // an empty list
      std::vector<std::string>{"/c/temp/TALK.WAV"},                     // no ".wav", and no recording there
      std::vector<std::string>{"/c/temp/notes.txt", "/c/temp/talk.wav"},  // only the first counts
      std::vector<std::string>{"/elsewhere/talk.wav"},                  // on no drive
  };
  for (const DropData& data : ignored) {
    EXPECT_FALSE(h.form->droppedFile(data));
    h.form->Form_OLEDragDrop(data);
    h.form->Text1_OLEDragDrop(data);
  }
  EXPECT_EQ(h.text(Control::Text1), "C:\\temp\\kept.wav");
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_FALSE(h.files.exists("C:\\temp\\vellora\\info.xls"));
}

TEST(Form1Logic, HiddenMediaControlsAreWired) {
  Harness h;
  h.form->Command2_Click();
  EXPECT_FALSE(h.form->timerRunning);
  EXPECT_TRUE(h.system.mciCommands.empty()) << "no audio is named, so Stop sends nothing";

  h.text(Control::Text3) = "play thisaudio";
  h.form->Command3_Click();
  EXPECT_TRUE(h.system.mciCommands.empty());

  h.form->visible[Control::Image5] = true;
  h.form->Image4_Click();
  h.form->Image5_Click();
  EXPECT_EQ(h.system.mciCommands, (std::vector<std::string>{"pause thisaudio", "resume thisaudio"}));
  EXPECT_FALSE(h.form->visible[Control::Image5]);

  h.form->Timer1_Timer();
  EXPECT_EQ(h.text(Control::lblTime), "00:00");
  EXPECT_EQ(h.form->getPosition(), 0);
}

TEST(Form1Logic, ArchivesWithTheInputLabelAsHeading) {
  Harness h;
  h.files.write("C:\\temp\\fid.wav", "RIFF");
  h.dialogs.answers = {"run1"};
  h.form->archivedata();
  ASSERT_EQ(h.dialogs.prompts.size(), 1u);
  EXPECT_EQ(h.dialogs.prompts[0].text, "Subdirectory of C:\\temp\\vellora\\?");
  EXPECT_EQ(h.files.read("C:\\temp\\vellora\\run1\\index.htm"),
            archivePageText("Input Filename:", "8.12.2026 13:04:05"));
  EXPECT_EQ(h.files.read("C:\\temp\\vellora\\run1\\fid.wav"), "RIFF");
  EXPECT_EQ(h.system.shellCalls.back().file, "C:\\temp\\vellora\\run1\\index.htm");
  EXPECT_EQ(h.system.shellCalls.back().show, 6);

  h.form->puttofile("words", "C:\\temp\\note.txt", 1);
  EXPECT_EQ(h.form->loadfromfile("C:\\temp\\note.txt"), "words");
  EXPECT_EQ(h.form->loadfromfile("C:\\temp\\missing.txt"), "");
}

using SlowFiles = test::SlowFiles<MemoryFiles>;

// Past half a second a copy shows its progress, named by the file; a cancel
// stops the copy, which leaves nothing and says nothing. A copy done sooner
// shows nothing at all.
TEST(Form1Logic, LongCopiesShowProgressThatCancels) {
  Harness<SlowFiles> h;
  h.files.afterStep = [&](int) { h.now = h.files.now; };
  h.files.stepMs = 100;
  h.form->choose(5);
  h.form->progress.cancelAfter = 3;
  h.form->Image3_Click();
  EXPECT_EQ(h.form->progress.opened, "talk.wav");
  const std::vector<int>& percents = h.form->progress.percents;
  ASSERT_EQ(percents.size(), 3u) << "from the fifth step on, half a second in, until the cancel";
  EXPECT_EQ(percents[0], 50);
  EXPECT_TRUE(percents[0] < percents[1] && percents[1] < percents[2]);
  EXPECT_TRUE(h.form->progress.closed);
  EXPECT_FALSE(h.form->progressOpen);
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_EQ(h.form->caption, "Vellora");
  EXPECT_FALSE(h.files.exists("C:\\temp\\vellora\\talk-90.wav"));
  EXPECT_EQ(h.files.read("C:\\temp\\talk.wav"), talk);

  // Not cancelled, it runs to its end and the progress goes with it.
  h.form->progress = {};
  h.form->Image3_Click();
  EXPECT_EQ(h.form->progress.percents.back(), 100);
  EXPECT_TRUE(h.form->progress.closed);
  EXPECT_EQ(h.files.read("C:\\temp\\vellora\\talk-90.wav"), test::withRates(talk, 21, 39690, 158760));

  h.form->progress = {};
  h.files.stepMs = 40;
  h.form->Image3_Click();
  EXPECT_EQ(h.form->progress.opened, "");
  EXPECT_FALSE(h.form->progress.closed);
}

}  // namespace
}  // namespace vellora
