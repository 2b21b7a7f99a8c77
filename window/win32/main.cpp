// vellora.exe: the native window on the Windows services.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/program_directory.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_module1.h"
#include "platform/win32/windows_paths.h"
#include "window/win32/form1.h"
#include "window/win32/win32_clock.h"
#include "window/win32/win32_dialogs.h"

namespace {

// The program's arguments after its own name, as "Open with" passes them:
// "vellora.exe" "C:\temp\talk.wav".
std::vector<std::string> arguments() {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> list;
  for (int i = 1; argv && i < count; ++i) list.push_back(vellora::win32::toUtf8(argv[i]));
  ::LocalFree(argv);
  return list;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  using namespace vellora;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  const WindowsPaths paths;
  WindowsFileSystem files;
  WindowsModule1 system;
  ShellOpener shell(system, programDirectory(WindowsPaths()).value_or("C:\\"));
  Win32Dialogs dialogs;
  Win32Clock clock;
  Form1 form({files, shell, dialogs, paths, system, clock}, instance, startFile(arguments(), paths).value_or(""));
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
