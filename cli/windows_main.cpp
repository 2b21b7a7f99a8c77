// vellora-cli.exe: the same command line, on the Windows services. Arguments
// arrive as UTF-16 and go to the core as UTF-8.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/run.h"
#include "cli/stream.h"
#include "platform/win32/program_directory.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_module1.h"
#include "platform/win32/windows_paths.h"

int wmain(int argc, wchar_t** argv) {
  using namespace vellora;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(win32::toUtf8(argv[i]));
  // Messages are UTF-8; the console shows them as such. Standard input and
  // output carry bytes unchanged, so no "\n" turns into "\r\n" on the way.
  ::SetConsoleOutputCP(CP_UTF8);
  cli::useBinaryStandardStreams();
  const WindowsPaths paths;
  WindowsFileSystem files;
  WindowsModule1 system;
  ShellOpener shell(system, programDirectory().value_or(""));
  cli::Services services = cli::consoleServices(paths, files, shell, system);
  return cli::runCommandLine(arguments, services);
}
