#pragma once

#include "shellfiles/host_paths.h"

namespace vellora {

// On Windows the system's paths are the host's own: a system path is used
// as it is, and a host path is only made absolute.
class WindowsPaths final : public HostPaths {
 public:
  std::optional<std::string> toSystem(std::string_view hostPath,
                                      std::string* why = nullptr) const override;
  std::optional<std::string> toHost(std::string_view systemPath,
                                    std::string* why = nullptr) const override;
  // Whatever is typed is a system path already.
  std::optional<std::string> typedHostPath(std::string_view typed) const override;
};

}  // namespace vellora
