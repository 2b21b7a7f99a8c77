#pragma once

#include <memory>

#include "platform/linux/host_file_system.h"
#include "platform/linux/link_rules.h"

namespace vellora {

// The file that takes `where`'s place once complete: an unnamed file where
// `unnamed` asks for one and the file system allows it, a hidden named one
// beside the target otherwise. A replaced file's owner and permissions are
// taken over before anything is copied.
Opened<ReplacementFile> makeReplacement(Destination where, bool unnamed, std::shared_ptr<const HostCalls> calls);

}  // namespace vellora
