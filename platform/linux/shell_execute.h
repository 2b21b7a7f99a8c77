#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/drive_map.h"

namespace vellora {

// The shell's "open" verb on the host: opens the host path with the
// desktop's application for its type, never with Vellora itself (see
// openOnDesktop). Returns a value above 32 when the application started, 32
// or less otherwise, after the shell's own codes.
std::intptr_t shellExecuteOpen(const DriveMap& drives, const std::string& operation,
                               const std::string& file);

inline constexpr std::intptr_t SE_ERR_FNF = 2;
inline constexpr std::intptr_t SE_ERR_PNF = 3;
inline constexpr std::intptr_t SE_ERR_NOASSOC = 31;
inline constexpr std::intptr_t kShellStarted = 42;

}  // namespace vellora
