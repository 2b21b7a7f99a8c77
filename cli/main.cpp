#include <string>
#include <vector>

#include "cli/run.h"
#include "platform/console.h"
#include "platform/linux/host_file_system.h"
#include "platform/linux/host_module1.h"
#include "platform/linux/leftover_guard.h"
#include "platform/program_directory.h"

int main(int argc, char** argv) {
  using namespace vellora;
  const std::unique_ptr<Console> console = openConsole();  // first, before any file opens
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  installLeftoverGuard();
  HostFileSystem files(DriveMap::fromEnvironment(), temporariesFromEnvironment());
  HostModule1 system(files.drives());
  ShellOpener shell(system, programDirectory(files.drives()).value_or(""));
  cli::Services services{files.drives(), files, shell, system, *console};
  return cli::runCommandLine(arguments, services);
}
