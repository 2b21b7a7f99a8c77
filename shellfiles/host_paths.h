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
  // The system path of an absolute host path; nullopt, with the reason in
  // `why`, when it is relative or no drive holds it.
  virtual std::optional<std::string> toSystem(std::string_view hostPath,
                                              std::string* why = nullptr) const = 0;
  // The host path of a system path; nullopt, with the reason in `why`, when
  // the path is not valid or its drive is missing.
  virtual std::optional<std::string> toHost(std::string_view systemPath,
                                            std::string* why = nullptr) const = 0;
};

}  // namespace vellora
