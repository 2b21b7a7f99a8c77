// The native window's progress for long copies, run under Wine: Form1 on the
// real file system, whose copies first report steps of progress while a
// clock moved by hand runs on.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_paths.h"
#include "support/fakes.h"
#include "support/slow_files.h"
#include "support/wav_builder.h"
#include "win32/temp_dir.h"
#include "window/win32/form1.h"

namespace vellora {
namespace {

using test::TempDir;

using SlowFiles = test::SlowFiles<WindowsFileSystem>;

struct HandClock : Clock {
  explicit HandClock(const std::int64_t& now) : now_(now) {}
  std::string presentDateTime() override { return "8.12.2026 13:04:05"; }
  std::int64_t steadyMilliseconds() override { return now_; }
  const std::int64_t& now_;
};

// What shows of a progress window.
struct Seen {
  HWND window = nullptr;
  HWND label = nullptr, bar = nullptr, button = nullptr;
  bool ownerEnabled = true;

  static Seen of(HWND owner) {
    Seen s;
    s.ownerEnabled = ::IsWindowEnabled(owner) != FALSE;
    for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"VelloraCopyProgress", nullptr));)
      if (::GetWindow(w, GW_OWNER) == owner && ::IsWindowVisible(w)) s.window = w;
    if (!s.window) return s;
    s.label = ::FindWindowExW(s.window, nullptr, L"Static", nullptr);
    s.bar = ::FindWindowExW(s.window, nullptr, PROGRESS_CLASSW, nullptr);
    s.button = ::FindWindowExW(s.window, nullptr, L"Button", nullptr);
    return s;
  }
  int percent() const { return static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)); }
};

std::wstring textOf(HWND w) {
  wchar_t text[256] = {};
  ::GetWindowTextW(w, text, 256);
  return text;
}

const std::string talk = test::canonicalWav(44100, 2, 16, 4000);

// One window over a directory holding talk.wav, whose copies are slowed.
struct Harness {
  Harness() {
    dir.write("talk.wav", talk);
    dir.mkdir("out");
    form = std::make_unique<Form1>(FormServices{files, shell, dialogs, paths, system, clock}, ::GetModuleHandleW(nullptr));
    EXPECT_TRUE(form->create());
    ::ShowWindow(form->hwnd(), SW_SHOW);
    ::SendMessageW(::GetDlgItem(form->hwnd(), Form1::idOf(Control::Combo1)), CB_SETCURSEL, 5, 0);  // 90%
  }
  ~Harness() {
    // Form1's end posts WM_QUIT, which would stop the next test's copy.
    form.reset();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;
  void convert() const { form->checkfile(dir.path("talk.wav"), dir.path("out\\")); }

  TempDir dir;
  SlowFiles files;
  WindowsPaths paths;
  test::RecordingModule1 system;
  ShellOpener shell{system, "C:\\tools"};
  test::ScriptedWindow dialogs;
  HandClock clock{files.now};
  std::unique_ptr<Form1> form;
};

// Past half a second the copy shows its progress over the window, which
// takes no input meanwhile; the Cancel button, pressed in any of the usual
// ways, stops the copy, which leaves nothing and says nothing.
enum class Press { Click, Escape, Return, Space };

class CancelTest : public testing::TestWithParam<Press> {};

TEST_P(CancelTest, LongCopyShowsProgressThatCancels) {
  Harness h;
  h.files.stepMs = 100;
  std::vector<Seen> seen;
  std::vector<int> percents;
  std::vector<std::wstring> labels;
  h.files.afterStep = [&](int) {
    seen.push_back(Seen::of(h.form->hwnd()));
    const Seen& s = seen.back();
    percents.push_back(s.window ? s.percent() : -1);
    labels.push_back(textOf(s.label));
    if (seen.size() != 8 || !s.button) return;
    // Posted as input would come: the copy's next report takes them in.
    const auto key = [&](WPARAM k) {
      ::PostMessageW(s.button, WM_KEYDOWN, k, 1);
      ::PostMessageW(s.button, WM_KEYUP, k, 0xC0000001);
    };
    switch (GetParam()) {
      case Press::Click:
        ::PostMessageW(s.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(s.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        break;
      case Press::Escape: key(VK_ESCAPE); break;
      case Press::Return: key(VK_RETURN); break;
      case Press::Space: key(VK_SPACE); break;
    }
  };
  h.convert();

  ASSERT_EQ(seen.size(), 8u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_FALSE(seen[i].window) << "no progress within half a second, step " << i;
    EXPECT_TRUE(seen[i].ownerEnabled);
  }
  ASSERT_TRUE(seen[5].window);
  EXPECT_EQ(percents[5], 50);
  EXPECT_FALSE(seen[5].ownerEnabled);
  EXPECT_EQ(labels[5], L"Copying talk.wav");
  EXPECT_GT(percents[7], percents[5]);
  EXPECT_FALSE(Seen::of(h.form->hwnd()).window);
  EXPECT_TRUE(::IsWindowEnabled(h.form->hwnd()));
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_EQ(textOf(h.form->hwnd()), L"Vellora");
  EXPECT_EQ(h.dir.list("out"), std::vector<std::string>{});
  EXPECT_EQ(h.dir.read("talk.wav"), talk);
}

INSTANTIATE_TEST_SUITE_P(Presses, CancelTest,
                         testing::Values(Press::Click, Press::Escape, Press::Return, Press::Space));

// Input queued for the window before it was disabled reaches it no more:
// a click on the convert picture starts no second copy.
TEST(ProgressWindow, OwnerTakesNoInputMeanwhile) {
  Harness h;
  h.files.stepMs = 100;
  int steps = 0;
  h.files.afterStep = [&](int) {
    const Seen s = Seen::of(h.form->hwnd());
    if (++steps != 6 || !s.button) return;
    HWND image3 = ::GetDlgItem(h.form->hwnd(), Form1::idOf(Control::Image3));
    ::PostMessageW(image3, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageW(image3, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ::PostMessageW(s.button, WM_KEYDOWN, VK_ESCAPE, 1);
  };
  h.convert();
  EXPECT_EQ(steps, 6);
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_EQ(h.dir.list("out"), std::vector<std::string>{});
}

// The window: titled "vellora", owned by Form1, a real STATIC, progress bar
// and BUTTON in that order, Cancel the default button with the focus, in the
// window's font; it goes when the copy ends, which then completes.
TEST(ProgressWindow, BelongsToTheWindowAndGoesWithTheCopy) {
  Harness h;
  h.files.stepMs = 100;
  bool checked = false;
  h.files.afterStep = [&](int) {
    const Seen s = Seen::of(h.form->hwnd());
    if (!s.window || checked) return;
    checked = true;
    EXPECT_EQ(textOf(s.window), L"vellora");
    ASSERT_TRUE(s.label && s.bar && s.button);
    EXPECT_EQ(::GetWindow(s.label, GW_HWNDNEXT), s.bar);
    EXPECT_EQ(::GetWindow(s.bar, GW_HWNDNEXT), s.button);
    EXPECT_EQ(textOf(s.button), L"Cancel");
    EXPECT_EQ(::GetDlgCtrlID(s.button), IDCANCEL);
    EXPECT_EQ(::GetWindowLongW(s.button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(::SendMessageW(s.bar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(::GetFocus(), s.button);
    const auto font = ::SendMessageW(::GetDlgItem(h.form->hwnd(), Form1::idOf(Control::Label1)), WM_GETFONT, 0, 0);
    EXPECT_EQ(::SendMessageW(s.label, WM_GETFONT, 0, 0), font);
    EXPECT_EQ(::SendMessageW(s.button, WM_GETFONT, 0, 0), font);
  };
  h.convert();
  EXPECT_TRUE(checked);
  EXPECT_FALSE(Seen::of(h.form->hwnd()).window);
  EXPECT_TRUE(::IsWindowEnabled(h.form->hwnd()));
  const HWND focus = ::GetFocus();
  EXPECT_TRUE(focus && ::IsChild(h.form->hwnd(), focus));
  EXPECT_EQ(h.dir.read("out\\talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
  EXPECT_EQ(h.system.shellCalls.size(), 1u);
  EXPECT_TRUE(h.dialogs.messages.empty());
}

// A copy done within half a second shows nothing.
TEST(ProgressWindow, ShortCopyShowsNone) {
  Harness h;
  h.files.stepMs = 40;
  bool appeared = false;
  h.files.afterStep = [&](int) { appeared = appeared || Seen::of(h.form->hwnd()).window; };
  h.convert();
  EXPECT_FALSE(appeared);
  EXPECT_TRUE(::IsWindowEnabled(h.form->hwnd()));
  EXPECT_EQ(h.dir.read("out\\talk-90.wav"), test::withRates(talk, 21, 39690, 158760));
  EXPECT_TRUE(h.dialogs.messages.empty());
}

// The native window has every operation of Form1, the file helpers too,
// and a file given at start goes into the input box.
TEST(Form1, HasEveryOperationAndTakesFilesAsTheLogicSays) {
  Harness h;
  h.form->puttofile("words", h.dir.path("note.txt"), 1);
  EXPECT_EQ(h.dir.read("note.txt"), "words");
  EXPECT_EQ(h.form->loadfromfile(h.dir.path("note.txt")), "words");

  Form1 started(FormServices{h.files, h.shell, h.dialogs, h.paths, h.system, h.clock}, ::GetModuleHandleW(nullptr),
                h.dir.path("talk.wav"));
  ASSERT_TRUE(started.create());
  EXPECT_EQ(textOf(::GetDlgItem(started.hwnd(), Form1::idOf(Control::Text1))), win32::toWide(h.dir.path("talk.wav")));
}

// For progress_e2e.sh: a copy that runs on, its clock moved by hand, until
// Cancel is pressed from outside (or 20 seconds have passed); the same
// checks as above afterwards. Skipped unless VELLORA_PROGRESS_E2E is set.
TEST(ProgressWindow, WaitsForCancelFromOutside) {
  if (!std::getenv("VELLORA_PROGRESS_E2E")) GTEST_SKIP() << "run by progress_e2e.sh";
  Harness h;
  h.files.steps = 400;
  h.files.stepMs = 100;
  int steps = 0;
  h.files.afterStep = [&](int) {
    ++steps;
    ::Sleep(50);
  };
  h.convert();
  EXPECT_LT(steps, h.files.steps) << "nothing cancelled the copy";
  EXPECT_FALSE(Seen::of(h.form->hwnd()).window);
  EXPECT_TRUE(::IsWindowEnabled(h.form->hwnd()));
  EXPECT_TRUE(h.dialogs.messages.empty());
  EXPECT_TRUE(h.system.shellCalls.empty());
  EXPECT_EQ(h.dir.list("out"), std::vector<std::string>{});
  EXPECT_EQ(h.dir.read("talk.wav"), talk);
}

}  // namespace
}  // namespace vellora
