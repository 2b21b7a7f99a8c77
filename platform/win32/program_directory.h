#pragma once

#include <optional>
#include <string>

namespace vellora {

// The running executable's directory, without a trailing "\" except at a
// drive root (C:\).
std::optional<std::string> programDirectory();

}  // namespace vellora
