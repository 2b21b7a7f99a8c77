#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/file_policy.h"
#include "platform/linux/unique_fd.h"

namespace vellora {

// Where a replacement goes: the directory that will hold it, open, and its
// name there. Reached through links only as the kernel would follow them.
struct Destination {
  UniqueFd directory;
  std::string name;
  bool throughLink = false;
  PathFacts target;
  struct stat targetStat {};
  struct stat directoryStat {};
};

// Follows `hostPath` to the file a replacement takes the place of, or an
// in-place change writes: every link on the way is followed only as the
// kernel follows a path's last one, and a target reached through one is
// written in its own directory. A link whose target is not there is never
// written through.
IoStatus reach(const std::string& hostPath, Destination& where);

// Opens the directory at `hostPath`, each link on the way followed only as
// the kernel follows a path's last one; `create` makes the missing
// directories, as mkdir -p does, but none where a link leads.
IoStatus reachDirectory(const std::string& hostPath, bool create, UniqueFd& directory);

// Before the copy, in the directory held open: why the target cannot be
// replaced, as far as the system tells beforehand.
IoStatus checkDestination(Destination& where);

// cp's words for a link whose target is not there.
IoStatus danglingLink();

}  // namespace vellora
