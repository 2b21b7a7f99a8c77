#include "platform/linux/link_rules.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/system_failure.h"

namespace vellora {
namespace {

// Splits "a/b/c" into "a/b" and "c", "/c" into "/" and "c", "c" into "" and "c".
std::pair<std::string, std::string> splitLast(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// A directory to work in; one that may be searched but not listed is held for its path only.
UniqueFd openDirectory(int base, const std::string& path) {
  const char* name = path.empty() ? "." : path.c_str();
  UniqueFd fd(::openat(base, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd && errno == EACCES) fd.reset(::openat(base, name, O_PATH | O_DIRECTORY | O_CLOEXEC));
  return fd;
}

// fs.protected_symlinks: in a sticky directory that anyone may write to
// (/tmp), a link is followed only for its owner, or when the directory's
// owner made it.
bool kernelWouldFollow(const struct stat& directory, const struct stat& link) {
  const bool shared = (directory.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == ::geteuid() || link.st_uid == directory.st_uid;
}

IoStatus directoryFailure(int error) {
  if (error == ENOENT) return IoStatus::failure("its directory does not exist");
  if (error == ENOTDIR) return IoStatus::failure("its directory is not a directory");
  return systemFailure(error);
}

}  // namespace

IoStatus danglingLink() { return IoStatus::failure("not writing through dangling symlink"); }

IoStatus reach(const std::string& hostPath, Destination& where) {
  const auto [directory, name] = splitLast(hostPath);
  where.directory = openDirectory(AT_FDCWD, directory);
  if (!where.directory) return directoryFailure(errno);
  where.name = name;
  for (int links = 0;; ++links) {
    if (::fstat(where.directory.get(), &where.directoryStat) != 0) return lastSystemFailure();
    // A link to "dir/", "." or "..": a directory, which nothing replaces.
    const bool directoryItself = where.name.empty() || where.name == "." || where.name == "..";
    const char* entry = directoryItself ? "." : where.name.c_str();
    if (::fstatat(where.directory.get(), entry, &where.targetStat, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return lastSystemFailure();
      // As cp does, with leave to replace or without: whoever planted the
      // link chose where a new file would appear.
      if (where.throughLink) return danglingLink();
      where.target.kind = PathFacts::Kind::Missing;
      return {};
    }
    if (!S_ISLNK(where.targetStat.st_mode)) {
      where.target.kind = kindOf(where.targetStat);
      return {};
    }
    if (links == 40) return systemFailure(ELOOP);  // the kernel's own limit
    if (!kernelWouldFollow(where.directoryStat, where.targetStat))
      return IoStatus::failure("not following a link that another user owns in a shared directory");
    std::string text(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(where.directory.get(), entry, text.data(), text.size());
    if (n < 0) return lastSystemFailure();
    if (static_cast<std::size_t>(n) == text.size()) return systemFailure(ENAMETOOLONG);
    text.resize(static_cast<std::size_t>(n));
    const auto [linkDirectory, linkName] = splitLast(text);
    if (!linkDirectory.empty()) {
      UniqueFd next = openDirectory(where.directory.get(), linkDirectory);
      if (!next && (errno == ENOENT || errno == ENOTDIR)) return danglingLink();
      if (!next) return lastSystemFailure();
      where.directory = std::move(next);
    }
    where.name = linkName;
    where.throughLink = true;
  }
}

IoStatus checkDestination(Destination& where) {
  PathFacts directory;
  directory.kind = PathFacts::Kind::Directory;
  directory.readOnly = noWriteBits(where.directoryStat);
  const struct stat& target = where.targetStat;
  if (where.target.kind == PathFacts::Kind::RegularFile) {
    // In a sticky directory only a file's owner, the directory's owner or
    // root may rename over it; the system's own words say so, not "read-only".
    const uid_t user = ::geteuid();
    if ((where.directoryStat.st_mode & S_ISVTX) && user != 0 && target.st_uid != user &&
        where.directoryStat.st_uid != user)
      return systemFailure(EPERM);
    if (::faccessat(where.directory.get(), where.name.c_str(), W_OK, AT_EACCESS) != 0)
      where.target.readOnly = true;
    if (noWriteBits(target)) where.target.readOnly = true;
  }
  return checkReplacementPlace(where.target, directory);
}

}  // namespace vellora
