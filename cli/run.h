#pragma once

#include <span>
#include <string>

#include "platform/console.h"
#include "shellfiles/file_system.h"
#include "shellfiles/host_paths.h"
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
  Console& console;
};

// Acts on the arguments after the program name and returns the exit status.
int runCommandLine(std::span<const std::string> arguments, Services& services);

}  // namespace vellora::cli
