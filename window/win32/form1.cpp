#include "window/win32/form1.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string_view>
#include <utility>

#include "platform/win32/wide.h"
#include "window/contrast.h"
#include "window/win32/resource.h"

namespace vellora {

namespace {

constexpr wchar_t kClassName[] = L"VelloraForm1";
constexpr UINT_PTR kTimer1 = 1;
// The list's height with its entries dropped down.
constexpr int kOpenListTwips = 2400;

std::string windowText(HWND w) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return win32::toUtf8(text);
}

HICON loadPicture(HINSTANCE instance, int id) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
}

bool isAction(HWND w) { return (::GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW; }

Rgb rgbOf(COLORREF c) {
  return {static_cast<std::uint8_t>(GetRValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
          static_cast<std::uint8_t>(GetBValue(c))};
}

}  // namespace

Form1::Form1(FormServices services, HINSTANCE instance, std::string startFile)
    : Form1Logic(services, std::move(startFile)), instance_(instance) {}

Form1::~Form1() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  for (HFONT f : {font_, linkFont_})
    if (f) ::DeleteObject(f);
  for (HICON i : {speaker_, pauseWhite_, pauseRed_})
    if (i) ::DestroyIcon(i);
}

bool Form1::create() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Form1::windowProc;
  wc.hInstance = instance_;
  wc.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(IDI_VELLORA));
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);
  speaker_ = loadPicture(instance_, IDI_SPEAKER);
  pauseWhite_ = loadPicture(instance_, IDI_PAUSE_WHITE);
  pauseRed_ = loadPicture(instance_, IDI_PAUSE_RED);

  dpi_ = ::GetDpiForSystem();
  RECT frame{0, 0, px(kFormWidthTwips), px(kFormHeightTwips)};
  ::AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_ACCEPTFILES, dpi_);
  hwnd_ = ::CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, win32::toWide(kFormCaption).c_str(),
                            WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (!hwnd_) return false;
  dpi_ = ::GetDpiForWindow(hwnd_);
  makeFonts();
  createControls();
  layout();
  Form_Load();
  return true;
}

int Form1::px(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), 1440); }

RECT Form1::pixelsOf(Control id) const {
  const Twips& t = placeOf(id);
  const int height = id == Control::Combo1 ? kOpenListTwips : t.height;
  return {px(t.left), px(t.top), px(t.left + t.width), px(t.top + height)};
}

void Form1::makeFonts() {
  for (HFONT f : {font_, linkFont_})
    if (f) ::DeleteObject(f);
  const auto make = [](int pixels, DWORD link) {
    return ::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, link, link, FALSE, DEFAULT_CHARSET, 0, 0,
                         CLEARTYPE_QUALITY, 0, L"MS Shell Dlg 2");
  };
  // The classic 8-point dialog font, or smaller where a stand-in for it is
  // wider than the classic one, as Wine's is.
  const int dpi = static_cast<int>(dpi_);
  HDC dc = ::GetDC(nullptr);
  const auto width = [&](int pixels, std::string_view caption) {
    HFONT font = make(pixels, 0);
    HGDIOBJ old = ::SelectObject(dc, font);
    const std::wstring text = win32::toWide(caption);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    return static_cast<int>(size.cx);
  };
  const int pixels = captionFontSize(::MulDiv(8, dpi, 72), ::MulDiv(9, dpi, 96), px(kCaptionRoomTwips), width);
  ::ReleaseDC(nullptr, dc);
  font_ = make(pixels, 0);
  linkFont_ = make(pixels, 1);
}

void Form1::createControls() {
  // Creation order is the tab order, and a screen reader names each box by
  // the label created just before it: the table's order.
  for (const ControlDesign& c : kControls) {
    const wchar_t* kind = L"STATIC";
    DWORD style = (c.visible ? WS_VISIBLE : 0) | (c.tabStop ? WS_TABSTOP : 0);
    DWORD exStyle = 0;
    std::string text = c.text;
    switch (c.kind) {
      case ControlKind::Label:
        break;
      case ControlKind::Link:
      case ControlKind::Picture:
        // An action's window text is its name for screen readers.
        style |= SS_OWNERDRAW | SS_NOTIFY;
        text = c.accessibleName;
        break;
      case ControlKind::TextBox:
        kind = L"EDIT";
        style |= ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::List:
        kind = WC_COMBOBOXW;
        style |= WS_VSCROLL | CBS_DROPDOWNLIST;
        break;
      case ControlKind::Button:
        kind = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    }
    const RECT r = pixelsOf(c.id);
    HWND w = ::CreateWindowExW(exStyle, kind, win32::toWide(text).c_str(), WS_CHILD | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(idOf(c.id))), instance_, nullptr);
    ::SetWindowSubclass(w, &Form1::controlProc, static_cast<UINT_PTR>(idOf(c.id)), reinterpret_cast<DWORD_PTR>(this));
    controls_[static_cast<std::size_t>(c.id)] = w;
  }
  ::DragAcceptFiles(control(Control::Text1), TRUE);

  HWND tips = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                hwnd_, nullptr, instance_, nullptr);
  for (const ControlDesign& c : kControls) {
    if (!c.visible || !c.accessibleDescription) continue;
    std::wstring tip = win32::toWide(c.accessibleDescription);
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(control(c.id));
    info.lpszText = tip.data();  // the tooltip keeps its own copy
    ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void Form1::layout() {
  for (const ControlDesign& c : kControls) {
    HWND w = control(c.id);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(c.kind == ControlKind::Link ? linkFont_ : font_), FALSE);
    const RECT r = pixelsOf(c.id);
    ::SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Label5 sizes itself to its caption.
  HWND label5 = control(Control::Label5);
  const std::wstring caption = win32::toWide(designOf(Control::Label5).text);
  HDC dc = ::GetDC(label5);
  HGDIOBJ old = ::SelectObject(dc, font_);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, caption.data(), static_cast<int>(caption.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(label5, dc);
  ::SetWindowPos(label5, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

DropData Form1::dropData(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    path.resize(::DragQueryFileW(drop, i, path.data(), length + 1));
    paths.push_back(win32::toUtf8(path));
  }
  return paths;
}

// Messages.

LRESULT CALLBACK Form1::windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Form1*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Form1*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self ? self->handle(message, wparam, lparam) : ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Form1::controlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR self) {
  auto* form = reinterpret_cast<Form1*>(self);
  switch (message) {
    case WM_DROPFILES:
      if (hwnd == form->control(Control::Text1)) {
        const auto drop = reinterpret_cast<HDROP>(wparam);
        form->Text1_OLEDragDrop(dropData(drop));
        ::DragFinish(drop);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (isAction(hwnd)) ::InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE && isAction(hwnd)) {
        form->onCommand(static_cast<int>(id), STN_CLICKED);
        return 0;
      }
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

LRESULT Form1::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) onReturn();
      else onCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_DRAWITEM:
      draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_DROPFILES: {
      const auto drop = reinterpret_cast<HDROP>(wparam);
      Form_OLEDragDrop(dropData(drop));
      ::DragFinish(drop);
      return 0;
    }
    case WM_TIMER:
      if (wparam == kTimer1) Timer1_Timer();
      return 0;
    // As in a dialog, the control that had the focus gets it back when the
    // window is activated again; at first that is the first tab stop.
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(hwnd_, focus)) focus_ = focus;
      }
      return ::DefWindowProcW(hwnd_, message, wparam, lparam);
    case WM_SETFOCUS:
      ::SetFocus(focus_ ? focus_ : ::GetNextDlgTabItem(hwnd_, nullptr, FALSE));
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      makeFonts();
      layout();
      const RECT* r = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      hwnd_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

void Form1::onCommand(int id, int code) {
  if (code != STN_CLICKED && code != BN_CLICKED) return;
  const std::pair<Control, void (Form1Logic::*)()> clicks[] = {
      {Control::Image3, &Form1Logic::Image3_Click},     {Control::Image1, &Form1Logic::Image1_Click},
      {Control::Label3, &Form1Logic::Label3_Click},     {Control::lblExplore, &Form1Logic::lblExplore_Click},
      {Control::Label6, &Form1Logic::Label6_Click},     {Control::Command2, &Form1Logic::Command2_Click},
      {Control::Image4, &Form1Logic::Image4_Click},     {Control::Image5, &Form1Logic::Image5_Click},
      {Control::Command3, &Form1Logic::Command3_Click},
  };
  for (const auto& [control, handler] : clicks)
    if (id == idOf(control)) (this->*handler)();
}

// Return: on a link or picture it clicks it; in the boxes it converts.
void Form1::onReturn() {
  HWND focus = ::GetFocus();
  if (focus == control(Control::Text1) || focus == control(Control::Text2) || focus == control(Control::Combo1)) {
    Image3_Click();
    return;
  }
  if (isAction(focus)) onCommand(::GetDlgCtrlID(focus), STN_CLICKED);
}

void Form1::draw(const DRAWITEMSTRUCT& item) {
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = nullptr;
  for (const ControlDesign& c : kControls)
    if (control(c.id) == item.hwndItem)
      icon = c.picture == Picture::Speaker ? speaker_ : c.picture == Picture::PauseWhite ? pauseWhite_
           : c.picture == Picture::PauseRed ? pauseRed_ : nullptr;
  RECT r = item.rcItem;
  if (icon) {
    ::DrawIconEx(item.hDC, 0, 0, icon, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
  } else {
    std::wstring text(64, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(item.hwndItem, text.data(), 64)));
    HGDIOBJ old = ::SelectObject(item.hDC, linkFont_);
    ::SetBkMode(item.hDC, TRANSPARENT);
    // The highlight colour, made to stand out from the window as text must.
    const Rgb link = readableColour(rgbOf(::GetSysColor(COLOR_HIGHLIGHT)), rgbOf(face), kTextContrast);
    ::SetTextColor(item.hDC, RGB(link.red, link.green, link.blue));
    RECT extent = r;
    ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &extent, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_CALCRECT);
    ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
    ::SelectObject(item.hDC, old);
    r = extent;
  }
  if (::GetFocus() == item.hwndItem) ::DrawFocusRect(item.hDC, &r);
}

// Form1View.

std::string Form1::boxText(Control box) { return windowText(control(box)); }

void Form1::setBoxText(Control box, const std::string& text) {
  ::SetWindowTextW(control(box), win32::toWide(text).c_str());
}

void Form1::setLabelCaption(Control label, const std::string& caption) {
  ::SetWindowTextW(control(label), win32::toWide(caption).c_str());
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control(label), OBJID_CLIENT, CHILDID_SELF);
}

void Form1::setFormCaption(const std::string& caption) {
  ::SetWindowTextW(hwnd_, win32::toWide(caption).c_str());
}

void Form1::fillList(std::span<const char* const> entries, int selected) {
  for (const char* entry : entries)
    ::SendMessageW(control(Control::Combo1), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::toWide(entry).c_str()));
  ::SendMessageW(control(Control::Combo1), CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Form1::showControl(Control id, bool visible) { ::ShowWindow(control(id), visible ? SW_SHOW : SW_HIDE); }

void Form1::placeControl(Control id, const Twips&) {
  const RECT r = pixelsOf(id);
  ::SetWindowPos(control(id), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::runTimer(bool running) {
  if (running) ::SetTimer(hwnd_, kTimer1, kTimer1IntervalMs, nullptr);
  else ::KillTimer(hwnd_, kTimer1);
}

void Form1::openProgress(const std::string& fileName) {
  progress_ = std::make_unique<ProgressWindow>(instance_, hwnd_, font_, dpi_, win32::toWide(fileName));
}

bool Form1::advanceProgress(int percent) {
  progress_->setPercent(percent);
  progress_->pumpMessages();
  return !progress_->cancelled();
}

void Form1::closeProgress() {
  progress_.reset();
  // Windows has made this window active again; its control takes the focus.
  if (hwnd_ && ::GetActiveWindow() == hwnd_ && focus_) ::SetFocus(focus_);
}

}  // namespace vellora
