#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "window/form_logic.h"
#include "window/win32/progress_window.h"

namespace vellora {

// The one window, native Win32: the controls of the design table, showing
// what Form1Logic does. The operations and handlers are Form1Logic's.
class Form1 : public Form1Logic {
 public:
  // `startFile`, a system path, goes into the input box instead of the
  // newest recording, as "Open with" asks.
  Form1(FormServices services, HINSTANCE instance, std::string startFile = {});
  ~Form1() override;

  // Creates the window and its controls and runs Form_Load; false when
  // Windows refuses the window.
  bool create();
  HWND hwnd() const { return hwnd_; }
  // The number Windows knows a control by.
  static int idOf(Control control) { return 100 + static_cast<int>(control); }

  // The files of a drop, as the logic takes them.
  static DropData dropData(HDROP drop);

 private:
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
  int px(int twips) const;
  HWND control(Control id) const { return controls_[static_cast<std::size_t>(id)]; }
  RECT pixelsOf(Control id) const;

  // Form1View: the boxes' and labels' window texts, a label's change also
  // told to screen readers.
  std::string boxText(Control box) override;
  void setBoxText(Control box, const std::string& text) override;
  void setLabelCaption(Control label, const std::string& caption) override;
  void setFormCaption(const std::string& caption) override;
  void fillList(std::span<const char* const> entries, int selected) override;
  // Only the place moves; the size stays the one the design gives.
  void placeControl(Control id, const Twips& place) override;
  void showControl(Control id, bool visible) override;
  void runTimer(bool running) override;  // a window timer on Form1
  // A ProgressWindow over this one, which pumps the messages meanwhile.
  void openProgress(const std::string& fileName) override;
  bool advanceProgress(int percent) override;
  void closeProgress() override;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT linkFont_ = nullptr;
  HICON speaker_ = nullptr, pauseWhite_ = nullptr, pauseRed_ = nullptr;
  HWND focus_ = nullptr;  // the control to give the focus back to
  std::unique_ptr<ProgressWindow> progress_;
  std::array<HWND, kControlCount> controls_{};
};

}  // namespace vellora
