// vellora.exe: the native window on the Windows services.
#include <windows.h>
#include <commctrl.h>

#include "platform/program_directory.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_module1.h"
#include "platform/win32/windows_paths.h"
#include "window/win32/form1.h"
#include "window/win32/win32_clock.h"
#include "window/win32/win32_dialogs.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  using namespace vellora;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  WindowsFileSystem files;
  WindowsModule1 system;
  ShellOpener shell(system, programDirectory(WindowsPaths()).value_or("C:\\"));
  Win32Dialogs dialogs;
  Win32Clock clock;
  Form1 form({files, shell, dialogs, system, clock}, instance);
  if (!form.create()) return 1;
  dialogs.setOwner(form.hwnd());
  ::ShowWindow(form.hwnd(), show);
  ::SendMessageW(form.hwnd(), WM_NEXTDLGCTL, 0, FALSE);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The dialog manager gives Tab, Return and arrows their usual meaning.
    if (form.hwnd() && ::IsDialogMessageW(form.hwnd(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
