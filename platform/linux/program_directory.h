#pragma once

#include <optional>
#include <string>

#include "platform/linux/drive_map.h"

namespace vellora {

// The running executable's directory as a system path, without a trailing
// "\" except at a drive root.
std::optional<std::string> programDirectory(const DriveMap& drives);

}  // namespace vellora
