#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/linux/host_file_system.h"
#include "platform/linux/system_failure.h"
#include "platform/wildcard.h"

namespace vellora {

namespace {

// Splits "C:\\temp\\*.wav" into the directory "C:\\temp" and the pattern "*.wav".
// A pattern with no separator lies in the current directory, or at the root
// of its drive when it names one.
std::pair<std::string, std::string> splitPattern(const std::string& pattern) {
  const std::size_t last = pattern.find_last_of("\\/");
  if (last != std::string::npos)
    return {pattern.substr(0, last == 0 || (last == 2 && pattern[1] == ':') ? last + 1 : last),
            pattern.substr(last + 1)};
  if (pattern.size() >= 2 && pattern[1] == ':') return {pattern.substr(0, 2), pattern.substr(2)};
  return {std::string(), pattern};
}

}  // namespace

IoStatus HostFileSystem::listFiles(const std::string& pattern, std::vector<std::string>& names) {
  names.clear();
  const auto [directory, wildcard] = splitPattern(pattern);
  std::string why;
  const std::optional<std::string> host = drives_.toHost(directory, &why);
  if (!host) return IoStatus::failure(why);
  struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::opendir(host->c_str()));
  if (!dir) return lastSystemFailure();

  for (;;) {
    // Only readdir's own failure counts: a link that leads nowhere fails the
    // fstatat below, and must not pass for it.
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) break;
    const std::string_view name = entry->d_name;
    if (name.front() == '.' || !wildcardMatch(wildcard, name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      regular = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    // The caller joins the names to a system path, so they come in system form.
    if (regular) names.push_back(DriveMap::nameToSystem(name));
  }
  if (errno != 0) return lastSystemFailure();
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return caseInsensitiveLess(a, b); });
  return {};
}

}  // namespace vellora
