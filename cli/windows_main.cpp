// vellora-cli.exe: the same command line, on the Windows services. Arguments
// arrive as UTF-16 and go to the core as UTF-8.
#include <string>
#include <vector>

#include "cli/run.h"
#include "platform/program_directory.h"
#include "platform/win32/wide.h"
#include "platform/console.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_module1.h"
#include "platform/win32/windows_paths.h"

int wmain(int argc, wchar_t** argv) {
  using namespace vellora;
  const std::unique_ptr<Console> console = openConsole();  // first, before any file opens
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(win32::toUtf8(argv[i]));
  const WindowsPaths paths;
  WindowsFileSystem files;
  WindowsModule1 system;
  ShellOpener shell(system, programDirectory(paths).value_or(""));
  cli::Services services{paths, files, shell, system, *console};
  return cli::runCommandLine(arguments, services);
}
