#include "platform/program_directory.h"

#include <filesystem>
#include <system_error>

namespace vellora {

std::optional<std::string> executablePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  return exe.string();
}

}  // namespace vellora
