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

// Copies a file byte for byte, replacing a file of the target's name; the
// target appears only when the copy is complete.
IoStatus copyFile(FileSystem& files, const std::string& source, const std::string& target);

// Replaces a file's content by `swhat` starting at 1-based byte `pt` (0 or
// a negative number: byte 1); the bytes before it are zero. Never fails
// towards the caller: a file that cannot be written stays as it was.
void puttofile(FileSystem& files, const std::string& swhat, const std::string& sfile,
               std::int32_t pt);

// A file's whole content, byte for byte, or "" when it cannot be opened.
std::string loadfromfile(FileSystem& files, const std::string& fname);

}  // namespace vellora
