#include "platform/linux/link_rules.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

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

IoStatus foreignLink() {
  return IoStatus::failure("not following a link that another user owns in a shared directory");
}

// Why a walk stopped where no system error number says it.
constexpr int kForeignLink = -1;

// A link's text; 0 or the system's error number.
int readLink(int directory, const char* name, std::string& text) {
  text.assign(PATH_MAX, '\0');
  const ssize_t n = ::readlinkat(directory, name, text.data(), text.size());
  if (n < 0) return errno;
  if (static_cast<std::size_t>(n) == text.size()) return ENAMETOOLONG;
  text.resize(static_cast<std::size_t>(n));
  return 0;
}

// A name still to walk, and whether a link's text gave it.
struct Step {
  std::string name;
  bool fromLink;
};

// Puts the names of `path` on `left`, the first one last, to be taken next.
void pushNames(const std::string& path, bool fromLink, std::vector<Step>& left) {
  for (std::size_t end = path.size(); end != std::string::npos && end > 0;) {
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    if (end > begin) left.push_back({path.substr(begin, end - begin), fromLink});
    end = slash;
  }
}

// Opens the directory `path` names from `base` one name at a time, so that
// every link on the way is followed only as kernelWouldFollow allows: the
// kernel itself asks that of a path's last name alone. With `create`, each
// missing directory of `path` is made, as mkdir -p does, but none where a
// link leads. Returns 0, a system error number or kForeignLink.
int walk(int base, const std::string& path, bool create, UniqueFd& directory) {
  UniqueFd at(::openat(base, path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!at) return errno;
  std::vector<Step> left;
  pushNames(path, false, left);
  for (int links = 0; !left.empty();) {
    const Step step = std::move(left.back());
    left.pop_back();
    const char* name = step.name.c_str();
    if (step.name == ".") continue;
    struct stat here {}, entry {};
    if (::fstat(at.get(), &here) != 0) return errno;
    int found = ::fstatat(at.get(), name, &entry, AT_SYMLINK_NOFOLLOW);
    if (found != 0 && errno == ENOENT && create && !step.fromLink) {
      if (::mkdirat(at.get(), name, 0777) != 0 && errno != EEXIST) return errno;
      found = ::fstatat(at.get(), name, &entry, AT_SYMLINK_NOFOLLOW);
    }
    if (found != 0) return errno;
    if (S_ISLNK(entry.st_mode)) {
      if (++links > 40) return ELOOP;  // the kernel's own limit
      if (!kernelWouldFollow(here, entry)) return kForeignLink;
      std::string text;
      if (const int error = readLink(at.get(), name, text)) return error;
      if (text.starts_with('/') && !(at = UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)))) return errno;
      pushNames(text, true, left);
      continue;
    }
    if (!S_ISDIR(entry.st_mode)) return ENOTDIR;
    // Not followed should it have become a link since.
    UniqueFd next(::openat(at.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) return errno;
    at = std::move(next);
  }
  directory = openDirectory(at.get(), {});
  return directory ? 0 : errno;
}

IoStatus walkFailure(int error) {
  if (error == kForeignLink) return foreignLink();
  return systemFailure(error);
}

IoStatus directoryFailure(int error) {
  if (error == ENOENT) return IoStatus::failure("its directory does not exist");
  if (error == ENOTDIR) return IoStatus::failure("its directory is not a directory");
  return walkFailure(error);
}

}  // namespace

IoStatus danglingLink() { return IoStatus::failure("not writing through dangling symlink"); }

IoStatus reachDirectory(const std::string& hostPath, bool create, UniqueFd& directory) {
  const int error = walk(AT_FDCWD, hostPath, create, directory);
  return error == 0 ? IoStatus{} : walkFailure(error);
}

IoStatus reach(const std::string& hostPath, Destination& where) {
  const auto [directory, name] = splitLast(hostPath);
  if (const int error = walk(AT_FDCWD, directory, false, where.directory)) return directoryFailure(error);
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
    if (!kernelWouldFollow(where.directoryStat, where.targetStat)) return foreignLink();
    std::string text;
    if (const int error = readLink(where.directory.get(), entry, text)) return systemFailure(error);
    const auto [linkDirectory, linkName] = splitLast(text);
    if (!linkDirectory.empty()) {
      UniqueFd next;
      if (const int error = walk(where.directory.get(), linkDirectory, false, next))
        return error == ENOENT || error == ENOTDIR ? danglingLink() : walkFailure(error);
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
