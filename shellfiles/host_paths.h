#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vellora {

// The system's own paths (C:\temp\talk.wav) and the host's: on Linux the
// drive map joins the two, on Windows they are one and the same.
class HostPaths {
 public:
  virtual ~HostPaths() = default;
  // The system path of a host path, a relative one taken from the current
  // directory; nullopt, with the reason in `why`, when no drive holds it.
  virtual std::optional<std::string> toSystem(std::string_view hostPath,
                                              std::string* why = nullptr) const = 0;
  // The host path of a system path; nullopt, with the reason in `why`, when
  // the path is not valid or its drive is missing.
  virtual std::optional<std::string> toHost(std::string_view systemPath,
                                            std::string* why = nullptr) const = 0;
  // The system path of what a user typed where a system path is expected,
  // when the host reads it as one of its own paths instead; nullopt for what
  // stays a system path.
  virtual std::optional<std::string> typedHostPath(std::string_view typed) const = 0;
};

}  // namespace vellora
