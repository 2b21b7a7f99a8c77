#include "window/win32/form1.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/win32/wide.h"
#include "shellfiles/latest.h"
#include "window/form_text.h"
#include "window/win32/resource.h"

namespace vellora {

namespace {

constexpr wchar_t kClassName[] = L"VelloraForm1";
constexpr UINT_PTR kTimer1 = 1;
enum Id : int {
  kLabel1 = 100, kText1, kImage1, kLabel3, kLabel2, kText2, kExplore, kLabel5, kCombo1, kImage3,
  kCommand2, kImage4, kImage5, kTime, kLabel6, kInfo, kLabel4, kText3, kCommand3
};

class EditBox : public InputBox {
 public:
  explicit EditBox(HWND edit) : edit_(edit) {}
  std::string text() override {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    return win32::toUtf8(text);
  }
  void setText(const std::string& text) override { ::SetWindowTextW(edit_, win32::toWide(text).c_str()); }

 private:
  HWND edit_;
};

// The captions in the column left of the boxes.
constexpr std::wstring_view kInputCaption = L"Input Filename:";
constexpr std::wstring_view kOutputCaption = L"Output Directory:";
constexpr std::wstring_view kSpeedCaption = L"Replay Speed:";

int textWidth(HDC dc, std::wstring_view text) {
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

HICON loadPicture(HINSTANCE instance, int id) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
}

}  // namespace

Form1::Form1(Form1Services services, HINSTANCE instance)
    : services_(services),
      instance_(instance),
      job_(services.files, services.shell, *this, services.dialogs),
      media_(services.system, *this) {}

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
  RECT frame{0, 0, px(6270), px(2415)};
  ::AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_ACCEPTFILES, dpi_);
  hwnd_ = ::CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, L"Vellora", WS_OVERLAPPEDWINDOW,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
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

void Form1::makeFonts() {
  for (HFONT f : {font_, linkFont_})
    if (f) ::DeleteObject(f);
  const auto make = [](int pixels, DWORD link) {
    return ::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, link, link, FALSE, DEFAULT_CHARSET, 0, 0,
                         CLEARTYPE_QUALITY, 0, L"MS Shell Dlg 2");
  };
  // The classic 8-point dialog font, or smaller until the captions on the left
  // end clear of the boxes at 88 pixels (at 96 dpi): a stand-in font wider than
  // the classic one, as Wine's is, would run under them.
  const int dpi = static_cast<int>(dpi_);
  const int smallest = ::MulDiv(9, dpi, 96);
  const int room = ::MulDiv(86, dpi, 96);
  HDC dc = ::GetDC(nullptr);
  for (int pixels = ::MulDiv(8, dpi, 72);; --pixels) {
    font_ = make(pixels, 0);
    HGDIOBJ old = ::SelectObject(dc, font_);
    const int widest = std::max({textWidth(dc, kInputCaption), textWidth(dc, kOutputCaption),
                                 textWidth(dc, kSpeedCaption)});
    ::SelectObject(dc, old);
    if (widest <= room || pixels <= smallest) {
      linkFont_ = make(pixels, 1);
      break;
    }
    ::DeleteObject(font_);
  }
  ::ReleaseDC(nullptr, dc);
}

HWND Form1::control(const wchar_t* kind, const wchar_t* text, DWORD style, int id, Twips where) {
  const DWORD exStyle = std::wstring_view(kind) == L"EDIT" ? WS_EX_CLIENTEDGE : 0;
  HWND w = ::CreateWindowExW(exStyle, kind, text, WS_CHILD | style, px(where.left), px(where.top),
                             px(where.width), px(where.height), hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  ::SetWindowSubclass(w, &Form1::controlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
  return w;
}

void Form1::createControls() {
  // Creation order is the tab order, and a screen reader names each box by
  // the label created just before it.
  const DWORD shown = WS_VISIBLE;
  const DWORD action = WS_VISIBLE | WS_TABSTOP | SS_OWNERDRAW | SS_NOTIFY;
  Label5 = control(L"STATIC", kSpeedCaption.data(), shown, kLabel5, {0, 960, 1050, 195});
  Combo1 = control(WC_COMBOBOXW, L"", shown | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kCombo1,
                   {1320, 960, 3495, 2400});
  Label1 = control(L"STATIC", kInputCaption.data(), shown, kLabel1, {0, 240, 1815, 255});
  Text1 = control(L"EDIT", L"C:\\temp\\in.wav", shown | WS_TABSTOP | ES_AUTOHSCROLL, kText1,
                  {1320, 240, 3495, 375});
  Label2 = control(L"STATIC", kOutputCaption.data(), shown, kLabel2, {0, 600, 1815, 255});
  Text2 = control(L"EDIT", L"C:\\temp\\vellora\\", shown | WS_TABSTOP | ES_AUTOHSCROLL, kText2,
                  {1320, 600, 3495, 375});
  // An action's window text is its name for screen readers.
  const auto name = [](const ActionText& a) { return win32::toWide(a.name); };
  Image1 = control(L"STATIC", name(kPlayAction).c_str(), action, kImage1, {4920, 240, 285, 285});
  Label3 = control(L"STATIC", name(kLatestAction).c_str(), action, kLabel3, {5280, 240, 855, 375});
  lblExplore = control(L"STATIC", name(kExploreAction).c_str(), action, kExplore, {4920, 670, 855, 375});
  Image3 = control(L"STATIC", name(kConvertAction).c_str(), action, kImage3, {4920, 1080, 285, 285});
  Label6 = control(L"STATIC", name(kHelpAction).c_str(), action, kLabel6, {2760, 1440, 1095, 375});
  lblInfo = control(L"STATIC", L"", shown, kInfo, {1320, 1800, 3495, 615});
  // The media controls: created hidden, and nothing shows them.
  Command2 = control(L"BUTTON", L"Stop", WS_TABSTOP | BS_PUSHBUTTON, kCommand2, {5880, 1080, 975, 375});
  Image4 = control(L"STATIC", L"Pause", SS_OWNERDRAW | SS_NOTIFY, kImage4, {1080, 1320, 450, 495});
  Image5 = control(L"STATIC", L"Resume", SS_OWNERDRAW | SS_NOTIFY, kImage5, {1560, 1320, 450, 495});
  lblTime = control(L"STATIC", L"", 0, kTime, {3720, 1320, 1095, 375});
  Label4 = control(L"STATIC", L"Command:", 0, kLabel4, {0, 2280, 1815, 255});
  Text3 = control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kText3, {1320, 2280, 3495, 375});
  Command3 = control(L"BUTTON", L"Execute", WS_TABSTOP | BS_PUSHBUTTON, kCommand3, {4920, 2280, 975, 375});
  ::DragAcceptFiles(Text1, TRUE);

  HWND tips = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                hwnd_, nullptr, instance_, nullptr);
  const std::pair<HWND, ActionText> tipTexts[] = {{Image1, kPlayAction}, {Label3, kLatestAction},
                                                  {lblExplore, kExploreAction}, {Image3, kConvertAction},
                                                  {Label6, kHelpAction}};
  for (const auto& [w, text] : tipTexts) {
    std::wstring tip = win32::toWide(text.description);
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(w);
    info.lpszText = tip.data();  // the tooltip keeps its own copy
    ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void Form1::layout() {
  struct Place {
    HWND w;
    Twips t;
  };
  const Place places[] = {
      {Label1, {0, 240, 1815, 255}},      {Text1, {1320, 240, 3495, 375}},
      {Image1, {4920, 240, 285, 285}},    {Label3, {5280, 240, 855, 375}},
      {Label2, {0, 600, 1815, 255}},      {Text2, {1320, 600, 3495, 375}},
      {lblExplore, {4920, 670, 855, 375}}, {Label5, {0, 960, 1050, 195}},
      {Combo1, {1320, 960, 3495, 2400}},  {Image3, {4920, 1080, 285, 285}},
      {Command2, {5880, 1080, 975, 375}}, {Image4, {1080, 1320, 450, 495}},
      {Image5, {image5Left_, 1320, 450, 495}}, {lblTime, {3720, 1320, 1095, 375}},
      {Label6, {2760, 1440, 1095, 375}},  {lblInfo, {1320, 1800, 3495, 615}},
      {Label4, {0, 2280, 1815, 255}},     {Text3, {1320, 2280, 3495, 375}},
      {Command3, {4920, 2280, 975, 375}}};
  for (const Place& p : places) {
    ::SendMessageW(p.w, WM_SETFONT, reinterpret_cast<WPARAM>(p.w == Label3 || p.w == lblExplore || p.w == Label6 ? linkFont_ : font_), FALSE);
    ::SetWindowPos(p.w, nullptr, px(p.t.left), px(p.t.top), px(p.t.width), px(p.t.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Label5 sizes itself to its caption.
  HDC dc = ::GetDC(Label5);
  HGDIOBJ old = ::SelectObject(dc, font_);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, kSpeedCaption.data(), static_cast<int>(kSpeedCaption.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(Label5, dc);
  ::SetWindowPos(Label5, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1::Form_Load() {
  image5Left_ = 1080;  // Image5 onto Image4
  layout();
  ::ShowWindow(Image5, SW_HIDE);
  // From here on a failing step is skipped without a word.
  (void)services_.files.makeDirectory("C:\\temp");
  (void)services_.files.makeDirectory("C:\\temp\\vellora");
  for (const char* entry : kSpeedEntries)
    ::SendMessageW(Combo1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::toWide(entry).c_str()));
  ::SendMessageW(Combo1, CB_SETCURSEL, kStartSpeedEntry, 0);
  getLatest();
}

// Operations.

void Form1::checkfile(const std::string& sfilein, const std::string& sdirout) {
  job_.checkfile(sfilein, sdirout);
}

void Form1::getLatest() {
  EditBox box(Text1);
  vellora::getLatest(services_.files, box);
}

void Form1::shellopen(std::string& url, std::int16_t mode) { services_.shell.shellopen(url, mode); }
void Form1::openAudio(std::string& fname) { services_.shell.openAudio(fname); }
void Form1::closeAudio() { media_.closeAudio(); }
void Form1::pauseAudio() { media_.pauseAudio(); }
void Form1::resumeAudio() { media_.resumeAudio(); }
std::int32_t Form1::getPosition() { return media_.getPosition(); }

void Form1::archivedata() {
  ArchiveServices archive{services_.files, services_.shell, services_.dialogs, services_.clock};
  vellora::archivedata(archive, textOf(Label1));
}

// Event handlers.

void Form1::Image3_Click() { checkfile(textOf(Text1), textOf(Text2)); }

void Form1::Image1_Click() {
  playFileName_ = textOf(Text1);
  if (playFileName_.empty()) {
    services_.dialogs.message("designate an input filename");
    return;
  }
  openAudio(playFileName_);
}

void Form1::Form_OLEDragDrop(HDROP drop) {
  // Only the first file counts, and only when its path holds ".wav".
  const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring first(length + 1, L'\0');
  if (length == 0 || ::DragQueryFileW(drop, 0, first.data(), length + 1) == 0) return;
  first.resize(length);
  const std::string path = win32::toUtf8(first);
  if (path.find(".wav") == std::string::npos) return;
  ::SetWindowTextW(Text1, first.c_str());
  Image3_Click();
}

void Form1::Text1_OLEDragDrop(HDROP drop) { Form_OLEDragDrop(drop); }
void Form1::Label3_Click() { getLatest(); }

void Form1::lblExplore_Click() {
  std::string url = textOf(Text2);
  shellopen(url, SW_HIDE);
}

void Form1::Label6_Click() { services_.dialogs.message(kHelpText); }
void Form1::Command2_Click() { closeAudio(); }
void Form1::Image4_Click() { pauseAudio(); }
void Form1::Image5_Click() { resumeAudio(); }
void Form1::Command3_Click() { media_.Command3_Click(); }
void Form1::Timer1_Timer() { media_.Timer1_Timer(); }

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
      if (hwnd == form->Text1) {
        const auto drop = reinterpret_cast<HDROP>(wparam);
        form->Text1_OLEDragDrop(drop);
        ::DragFinish(drop);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if ((::GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW)
        ::InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE && (::GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW) {
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
      Form_OLEDragDrop(drop);
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
  switch (id) {
    case kImage3: Image3_Click(); break;
    case kImage1: Image1_Click(); break;
    case kLabel3: Label3_Click(); break;
    case kExplore: lblExplore_Click(); break;
    case kLabel6: Label6_Click(); break;
    case kCommand2: Command2_Click(); break;
    case kImage4: Image4_Click(); break;
    case kImage5: Image5_Click(); break;
    case kCommand3: Command3_Click(); break;
    default: break;
  }
}

// Return: on a link or picture it clicks it; in the boxes it converts.
void Form1::onReturn() {
  HWND focus = ::GetFocus();
  if (focus == Text1 || focus == Text2 || focus == Combo1) {
    Image3_Click();
    return;
  }
  if ((::GetWindowLongW(focus, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW)
    onCommand(::GetDlgCtrlID(focus), STN_CLICKED);
}

void Form1::draw(const DRAWITEMSTRUCT& item) {
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = item.hwndItem == Image4 ? pauseWhite_ : item.hwndItem == Image5 ? pauseRed_
             : item.hwndItem == Image1 || item.hwndItem == Image3 ? speaker_ : nullptr;
  RECT r = item.rcItem;
  if (icon) {
    ::DrawIconEx(item.hDC, 0, 0, icon, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
  } else {
    std::wstring text(64, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(item.hwndItem, text.data(), 64)));
    HGDIOBJ old = ::SelectObject(item.hDC, linkFont_);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ::GetSysColor(COLOR_HIGHLIGHT));
    RECT extent = r;
    ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &extent, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_CALCRECT);
    ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
    ::SelectObject(item.hDC, old);
    r = extent;
  }
  if (::GetFocus() == item.hwndItem) ::DrawFocusRect(item.hDC, &r);
}

std::string Form1::textOf(HWND w) const { return EditBox(w).text(); }

// The window as the speed-change job sees it.

std::string Form1::percentText() { return textOf(Combo1); }
void Form1::setCaption(const std::string& caption) { ::SetWindowTextW(hwnd_, win32::toWide(caption).c_str()); }
void Form1::setInfo(const std::string& info) {
  ::SetWindowTextW(lblInfo, win32::toWide(info).c_str());
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, lblInfo, OBJID_CLIENT, CHILDID_SELF);
}

bool Form1::copyProgress(const std::string& file, std::uint64_t done, std::uint64_t total) {
  const std::int64_t now = services_.clock.steadyMilliseconds();
  if (!copyStarted_) copyStarted_ = now;
  if (!progress_) {
    // Short copies show nothing; neither does one that has just finished.
    if (done >= total || now - *copyStarted_ < kProgressDelayMs) return true;
    const std::size_t slash = file.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    progress_ = std::make_unique<ProgressWindow>(instance_, hwnd_, font_, dpi_, win32::toWide(name));
  }
  progress_->setPercent(total == 0 ? 100 : static_cast<int>(std::min(done, total) * 100 / total));
  progress_->pumpMessages();
  return !progress_->cancelled();
}

void Form1::copyEnded() {
  copyStarted_.reset();
  if (!progress_) return;
  progress_.reset();
  // Windows has made this window active again; its control takes the focus.
  if (hwnd_ && ::GetActiveWindow() == hwnd_ && focus_) ::SetFocus(focus_);
}

// The window as the media commands see it.

void Form1::setTimerEnabled(bool enabled) {
  if (enabled) ::SetTimer(hwnd_, kTimer1, 1, nullptr);
  else ::KillTimer(hwnd_, kTimer1);
}
void Form1::hideResumeImage() { ::ShowWindow(Image5, SW_HIDE); }
void Form1::setTimeCaption(const std::string& caption) {
  ::SetWindowTextW(lblTime, win32::toWide(caption).c_str());
}
std::string Form1::commandText() { return textOf(Text3); }

}  // namespace vellora
