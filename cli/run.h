#pragma once

#include <ostream>
#include <span>
#include <string>

#include "shellfiles/host_paths.h"
#include "shellfiles/file_system.h"
#include "shellfiles/module1.h"
#include "shellfiles/shell_open.h"

namespace vellora::cli {

inline constexpr int kAllDone = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;

// What the command works with; main() hands over the host's.
struct Services {
  const HostPaths& paths;
  FileSystem& files;
  ShellOpener& shell;
  Module1& system;  // starts the player and says whether it started
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;
  // The raw ends of a stream (-c, "-"); `out` must be flushed before either is written.
  int inFd = 0;
  bool inIsTerminal = false;
  int outFd = 1;
  bool outIsTerminal = false;
};

// The program's own console: standard output and error, descriptors 0 and 1.
Services consoleServices(const HostPaths& paths, FileSystem& files, ShellOpener& shell, Module1& system);

// Acts on the arguments after the program name and returns the exit status.
int runCommandLine(std::span<const std::string> arguments, Services& services);

}  // namespace vellora::cli
