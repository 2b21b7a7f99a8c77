#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "shellfiles/host_paths.h"

namespace vellora {

// Maps the system's drive-letter paths onto host directories, the way a
// Windows emulator does. Drive X is the directory named by VELLORA_DRIVE_X;
// without it C: is $HOME and Z: is /, and other letters are missing drives.
class DriveMap final : public HostPaths {
 public:
  using Roots = std::array<std::optional<std::string>, 26>;

  explicit DriveMap(const Roots& roots);
  static DriveMap fromEnvironment();

  // The host path for a system path, or nullopt with `why` filled in when the
  // path is invalid or its drive is missing. "\" and "/" both separate;
  // "." and ".." resolve lexically and stop at the drive root.
  std::optional<std::string> toHost(std::string_view systemPath,
                                    std::string* why = nullptr) const override;
  // The system path of a host path (a relative one taken from the current
  // directory): the drive whose root is its longest prefix, "\" as
  // separator; nullopt when no drive holds it. Characters that system paths
  // reserve (: ? * < > | " \) become their full-width look-alikes, bytes
  // that are not UTF-8 the escape mark and two hex digits, and toHost turns
  // them back.
  std::optional<std::string> toSystem(std::string_view hostPath,
                                      std::string* why = nullptr) const override;
  // A typed path that starts with "/" or "~/" is a host path.
  std::optional<std::string> typedHostPath(std::string_view typed) const override;
  // A system path made absolute against the current directory: "X:\a\b".
  std::optional<std::string> absolute(std::string_view systemPath, std::string* why = nullptr) const;

  const std::optional<std::string>& root(char drive) const;

  // One host file name in system form, and back.
  static std::string nameToSystem(std::string_view hostName);
  static std::string nameToHost(std::string_view systemName);

 private:
  struct Located;
  std::optional<Located> locate(std::string_view systemPath, std::string* why) const;

  Roots roots_;
};

}  // namespace vellora
