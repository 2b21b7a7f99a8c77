#pragma once

#include <optional>
#include <string>

#include "shellfiles/host_paths.h"

namespace vellora {

// The running executable's directory as a system path, without a trailing
// "\" except at a drive root (C:\); nullopt when it cannot be told.
std::optional<std::string> programDirectory(const HostPaths& paths);

// The running executable's own host path; each platform asks its system.
std::optional<std::string> executablePath();

}  // namespace vellora
