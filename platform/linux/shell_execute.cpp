#include "platform/linux/shell_execute.h"

#include <sys/stat.h>

#include "platform/linux/desktop_open.h"

namespace vellora {

std::intptr_t shellExecuteOpen(const DriveMap& drives, const std::string& operation,
                               const std::string& file) {
  if (operation != "open") return SE_ERR_NOASSOC;
  const std::optional<std::string> host = drives.toHost(file);
  if (!host) return SE_ERR_PNF;
  struct stat st {};
  if (::stat(host->c_str(), &st) != 0) return SE_ERR_FNF;
  return openOnDesktop(*host) == DesktopOpen::Started ? kShellStarted : SE_ERR_NOASSOC;
}

}  // namespace vellora
