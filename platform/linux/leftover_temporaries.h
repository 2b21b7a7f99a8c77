#pragma once

#include <functional>
#include <string>

#include "platform/file_policy.h"

namespace vellora {

// Removes the temporaries that killed processes (SIGKILL, a crash, a power
// cut) left in `directory`: those whose process is surely gone.
void removeLeftovers(int directory);

// A hidden name in `directory` that carries this process's mark, made by
// `create` (-1 with errno set on failure) and registered with the leftover
// guard before it exists.
IoStatus createBeside(int directory, const std::function<int(const char* name)>& create, std::string& made,
                      int& slot);

}  // namespace vellora
