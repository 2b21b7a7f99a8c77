#pragma once

#include <windows.h>

#include <string>

namespace vellora {

// The small window a long copy shows over Form1: "Copying NAME", a bar from
// 0 to 100 and a Cancel button, which Escape, Return and Space also press.
// While it shows, its owner is disabled, as under a modal dialog.
class ProgressWindow {
 public:
  ProgressWindow(HINSTANCE instance, HWND owner, HFONT font, UINT dpi, const std::wstring& name);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  void setPercent(int percent);
  // Hands the messages waiting for this thread's windows to them, without
  // waiting for more: the copy runs on this thread, so only here do the
  // windows repaint and is Cancel seen.
  void pumpMessages();
  bool cancelled() const { return cancelled_; }

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HWND child(const wchar_t* kind, const wchar_t* text, DWORD style, int id, RECT twips);
  int px(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), 1440); }

  HINSTANCE instance_;
  HWND owner_;
  HFONT font_;
  UINT dpi_;
  HWND hwnd_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace vellora
