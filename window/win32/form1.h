#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive_page.h"
#include "media/media_controls.h"
#include "shellfiles/dialogs.h"
#include "shellfiles/file_system.h"
#include "shellfiles/module1.h"
#include "shellfiles/shell_open.h"
#include "speed/speed_job.h"
#include "window/win32/progress_window.h"

namespace vellora {

// What the window works with; WinMain supplies it.
struct Form1Services {
  FileSystem& files;
  ShellOpener& shell;
  Dialogs& dialogs;
  Module1& system;
  Clock& clock;
};

// The one window, native Win32. Its operations and handlers keep the names
// of the Qt window and call the core the same way.
class Form1 : private JobWindow, private MediaWindow {
 public:
  Form1(Form1Services services, HINSTANCE instance);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Creates the window and its controls and runs Form_Load; false when
  // Windows refuses the window.
  bool create();
  HWND hwnd() const { return hwnd_; }

  // Operations.
  void checkfile(const std::string& sfilein, const std::string& sdirout);
  void getLatest();
  void shellopen(std::string& url, std::int16_t mode);
  void openAudio(std::string& fname);
  void closeAudio();
  void pauseAudio();
  void resumeAudio();
  std::int32_t getPosition();
  void archivedata();

  // Event handlers.
  void Form_Load();
  void Image3_Click();
  void Image1_Click();
  void Form_OLEDragDrop(HDROP drop);
  void Text1_OLEDragDrop(HDROP drop);
  void Label3_Click();
  void lblExplore_Click();
  void Label6_Click();
  void Command2_Click();
  void Image4_Click();
  void Image5_Click();
  void Command3_Click();
  void Timer1_Timer();

 private:
  struct Twips {
    int left, top, width, height;
  };
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR self);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void createControls();
  void layout();
  void makeFonts();
  void onCommand(int id, int code);
  void onReturn();
  void draw(const DRAWITEMSTRUCT& item);
  HWND control(const wchar_t* kind, const wchar_t* text, DWORD style, int id, Twips where);
  int px(int twips) const;
  std::string textOf(HWND control) const;

  // JobWindow, for the speed-change job.
  std::string percentText() override;
  void setCaption(const std::string& caption) override;
  void setInfo(const std::string& info) override;
  // A copy that runs longer than kProgressDelayMs shows a ProgressWindow
  // over this one; its Cancel stops the copy.
  bool copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) override;
  void copyEnded() override;
  // MediaWindow, for the media commands.
  void setTimerEnabled(bool enabled) override;
  void hideResumeImage() override;
  void setTimeCaption(const std::string& caption) override;
  std::string commandText() override;

  Form1Services services_;
  HINSTANCE instance_;
  SpeedJob job_;
  MediaControls media_;
  std::string playFileName_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT linkFont_ = nullptr;
  HICON speaker_ = nullptr, pauseWhite_ = nullptr, pauseRed_ = nullptr;
  int image5Left_ = 1560;
  HWND focus_ = nullptr;  // the control to give the focus back to
  static constexpr std::int64_t kProgressDelayMs = 500;
  std::optional<std::int64_t> copyStarted_;  // the clock's reading at the copy's first progress
  std::unique_ptr<ProgressWindow> progress_;

  HWND Label1 = nullptr, Text1 = nullptr, Image1 = nullptr, Label3 = nullptr;
  HWND Label2 = nullptr, Text2 = nullptr, lblExplore = nullptr;
  HWND Label5 = nullptr, Combo1 = nullptr, Image3 = nullptr, Command2 = nullptr;
  HWND Image4 = nullptr, Image5 = nullptr, lblTime = nullptr, Label6 = nullptr, lblInfo = nullptr;
  HWND Label4 = nullptr, Text3 = nullptr, Command3 = nullptr;
};

}  // namespace vellora
