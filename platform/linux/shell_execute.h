#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/drive_map.h"

namespace vellora {

// The shell's "open" verb on the host: starts `xdg-open HOSTPATH`, found on
// PATH, detached, with /dev/null as its standard input and output. Returns a
// value above 32 when the program started, 32 or less otherwise, after the
// shell's own codes.
std::intptr_t shellExecuteOpen(const DriveMap& drives, const std::string& operation,
                               const std::string& file);

inline constexpr std::intptr_t SE_ERR_FNF = 2;
inline constexpr std::intptr_t SE_ERR_PNF = 3;
inline constexpr std::intptr_t SE_ERR_NOASSOC = 31;
inline constexpr std::intptr_t kShellStarted = 42;

}  // namespace vellora
