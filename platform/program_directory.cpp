#include "platform/program_directory.h"

namespace vellora {

std::optional<std::string> programDirectory(const HostPaths& paths) {
  const std::optional<std::string> executable = executablePath();
  std::optional<std::string> directory = executable ? paths.toSystem(*executable) : std::nullopt;
  const std::size_t slash = directory ? directory->rfind('\\') : std::string::npos;
  if (slash == std::string::npos) return std::nullopt;
  // A drive root keeps its separator: "C:\".
  directory->resize(slash == 2 && (*directory)[1] == ':' ? slash + 1 : slash);
  return directory;
}

}  // namespace vellora
