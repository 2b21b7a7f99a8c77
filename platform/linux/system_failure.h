#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/file_policy.h"

namespace vellora {

inline IoStatus systemFailure(int error) { return IoStatus::failure(std::strerror(error)); }
inline IoStatus lastSystemFailure() { return systemFailure(errno); }

// "Read-only" means that the permission bits allow nobody to write, which also
// stops root, as a read-only file does on the desktop.
inline bool noWriteBits(const struct stat& st) { return (st.st_mode & 0222) == 0; }

inline PathFacts::Kind kindOf(const struct stat& st) {
  return S_ISREG(st.st_mode)   ? PathFacts::Kind::RegularFile
         : S_ISDIR(st.st_mode) ? PathFacts::Kind::Directory
                               : PathFacts::Kind::Other;
}

}  // namespace vellora
