#include "window/win32/progress_window.h"

#include <commctrl.h>

namespace vellora {

namespace {

constexpr wchar_t kClassName[] = L"VelloraCopyProgress";
constexpr int kText = 100, kBar = 101;
// The client area and its controls, in twips as Form1 lays out its own.
constexpr int kWidth = 4560, kHeight = 1515;
constexpr RECT kTextPlace{180, 180, 4380, 435}, kBarPlace{180, 525, 4380, 780};
constexpr RECT kCancelPlace{3405, 960, 4380, 1335};

}  // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, HWND owner, HFONT font, UINT dpi,
                               const std::wstring& name)
    : instance_(instance), owner_(owner), font_(font), dpi_(dpi) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &ProgressWindow::windowProc;
  wc.hInstance = instance_;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);  // fails harmlessly once the class is there

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, px(kWidth), px(kHeight)};
  ::AdjustWindowRectExForDpi(&frame, style, FALSE, WS_EX_DLGMODALFRAME, dpi_);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT over{};
  ::GetWindowRect(owner_, &over);
  hwnd_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"vellora", style,
                            over.left + (over.right - over.left - width) / 2,
                            over.top + (over.bottom - over.top - height) / 2, width, height,
                            owner_, nullptr, instance_, this);
  if (!hwnd_) return;
  // The label comes first so that screen readers name the bar by it.
  child(L"STATIC", (L"Copying " + name).c_str(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kText, kTextPlace);
  bar_ = child(PROGRESS_CLASSW, L"", 0, kBar, kBarPlace);
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
  cancel_ = child(L"BUTTON", L"Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL, kCancelPlace);
  // As a modal dialog does: the owner takes no input while this shows.
  ::EnableWindow(owner_, FALSE);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetFocus(cancel_);
  ::UpdateWindow(hwnd_);
}

ProgressWindow::~ProgressWindow() {
  // The owner first, so that Windows activates it when this window goes.
  ::EnableWindow(owner_, TRUE);
  if (hwnd_) ::DestroyWindow(hwnd_);
}

HWND ProgressWindow::child(const wchar_t* kind, const wchar_t* text, DWORD style, int id, RECT twips) {
  HWND w = ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, px(twips.left),
                             px(twips.top), px(twips.right - twips.left), px(twips.bottom - twips.top),
                             hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return w;
}

void ProgressWindow::setPercent(int percent) { ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0); }

void ProgressWindow::pumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The program is ending: the copy stops, and the main loop sees the quit.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      cancelled_ = true;
      return;
    }
    // Input the owner had queued before it was disabled is dropped, as a
    // modal dialog's loop would: a click on Convert must not start another copy.
    const UINT m = msg.message;
    const bool input = (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
                       (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK);
    if (input && (!hwnd_ || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd)))) continue;
    if (hwnd_ && ::IsDialogMessageW(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK ProgressWindow::windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<ProgressWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    // The button, Escape and Return all come as IDCANCEL; the close box too.
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL) self->cancelled_ = true;
      return 0;
    case WM_CLOSE:
      self->cancelled_ = true;
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDCANCEL, DC_HASDEFID);
    case WM_SETFOCUS:
      ::SetFocus(self->cancel_);
      return 0;
    case WM_DESTROY:
      // Gone with its owner: the copy stops.
      self->hwnd_ = nullptr;
      self->cancelled_ = true;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace vellora
