#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shellfiles/file_system.h"

namespace vellora {

// Replaces the whole content of `path` by `offset` zero bytes followed by
// `bytes`. The old content stays until the new one is complete.
IoStatus writeFileContent(FileSystem& files, const std::string& path, std::string_view bytes,
                          std::uint64_t offset = 0);

}  // namespace vellora
