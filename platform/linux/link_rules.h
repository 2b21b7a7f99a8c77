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

// Follows `hostPath` to the file a replacement takes the place of: a link
// there is written through, as the kernel would follow it, and its target
// then replaced in the target's own directory. A link whose target is not
// there is never written through.
IoStatus reach(const std::string& hostPath, Destination& where);

// Before the copy, in the directory held open: why the target cannot be
// replaced, as far as the system tells beforehand.
IoStatus checkDestination(Destination& where);

// cp's words for a link whose target is not there.
IoStatus danglingLink();

}  // namespace vellora
