#include "platform/linux/drive_map.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace vellora {
namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isSeparator(char c) { return c == '\\' || c == '/'; }
std::size_t index(char drive) { return static_cast<std::size_t>(upper(drive) - 'A'); }

// Splits on either separator and resolves "." and ".." without climbing above the root.
void appendParts(std::vector<std::string>& parts, std::string_view path, bool hostOnly) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !(path[end] == '/' || (!hostOnly && path[end] == '\\'))) ++end;
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    start = end + 1;
  }
}

std::string normalizedHostRoot(const std::string& dir) {
  std::string absolute = dir;
  if (absolute.front() != '/') {
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (cwd) absolute = std::string(cwd.get()) + "/" + absolute;
  }
  // The canonical form, when the directory exists, so that the current
  // directory and dropped files (which come canonical) match their drive.
  char resolved[PATH_MAX];
  if (realpath(absolute.c_str(), resolved)) absolute = resolved;
  std::vector<std::string> parts;
  appendParts(parts, absolute, true);
  std::string root;
  for (const std::string& p : parts) root += "/" + p;
  return root.empty() ? "/" : root;
}

// Host names may hold characters that system paths reserve; each stands in a
// system path as its full-width look-alike. A host name that already holds a
// look-alike, or the escape mark itself, gets the mark before it, so that
// every host name comes back unchanged.
constexpr std::string_view kEscape = "\u241B";  // "␛", SYMBOL FOR ESCAPE
struct LookAlike {
  char reserved;
  std::string_view fullWidth;
};
constexpr LookAlike kLookAlikes[] = {
    {':', "\uFF1A"}, {'?', "\uFF1F"}, {'*', "\uFF0A"}, {'<', "\uFF1C"},
    {'>', "\uFF1E"}, {'|', "\uFF5C"}, {'"', "\uFF02"}, {'\\', "\uFF3C"},
};

// The look-alike or escape mark that `text` starts with, if any.
std::string_view markAt(std::string_view text) {
  if (text.starts_with(kEscape)) return kEscape;
  for (const LookAlike& l : kLookAlikes)
    if (text.starts_with(l.fullWidth)) return l.fullWidth;
  return {};
}

std::string hostNameToSystem(std::string_view name) {
  std::string system;
  for (std::size_t i = 0; i < name.size();) {
    if (const std::string_view mark = markAt(name.substr(i)); !mark.empty()) {
      system += kEscape;
      system += mark;
      i += mark.size();
      continue;
    }
    const auto reserved = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                       [c = name[i]](const LookAlike& l) { return l.reserved == c; });
    if (reserved != std::end(kLookAlikes)) system += reserved->fullWidth;
    else system += name[i];
    ++i;
  }
  return system;
}

std::string systemNameToHost(std::string_view name) {
  std::string host;
  for (std::size_t i = 0; i < name.size();) {
    std::string_view mark = markAt(name.substr(i));
    if (mark == kEscape) {
      // An escaped mark stands for itself; a lone escape mark too.
      const std::string_view escaped = markAt(name.substr(i + mark.size()));
      host += escaped.empty() ? kEscape : escaped;
      i += mark.size() + escaped.size();
      continue;
    }
    if (!mark.empty()) {
      for (const LookAlike& l : kLookAlikes)
        if (l.fullWidth == mark) host += l.reserved;
      i += mark.size();
      continue;
    }
    host += name[i++];
  }
  return host;
}

std::string currentDirectory() {
  std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string();
}

}  // namespace

struct DriveMap::Located {
  char drive;
  std::vector<std::string> parts;
};

DriveMap::DriveMap(const Roots& roots) {
  for (std::size_t i = 0; i < roots.size(); ++i)
    if (roots[i] && !roots[i]->empty()) roots_[i] = normalizedHostRoot(*roots[i]);
}

DriveMap DriveMap::fromEnvironment() {
  Roots roots;
  if (const char* home = std::getenv("HOME")) roots[index('C')] = home;
  roots[index('Z')] = "/";
  for (char d = 'A'; d <= 'Z'; ++d) {
    const std::string name = std::string("VELLORA_DRIVE_") + d;
    if (const char* dir = std::getenv(name.c_str())) roots[index(d)] = dir;
  }
  return DriveMap(roots);
}

const std::optional<std::string>& DriveMap::root(char drive) const { return roots_[index(drive)]; }

std::string DriveMap::nameToSystem(std::string_view hostName) { return hostNameToSystem(hostName); }
std::string DriveMap::nameToHost(std::string_view systemName) { return systemNameToHost(systemName); }

std::optional<DriveMap::Located> DriveMap::locate(std::string_view path, std::string* why) const {
  auto fail = [why](const char* reason) -> std::optional<Located> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const bool hasDrive = path.size() >= 2 && path[1] == ':' && isLetter(path[0]);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '\0' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' ||
        (c == ':' && !(i == 1 && hasDrive)))
      return fail("the path is not valid");
  }
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]))
    return fail("network paths are not supported");

  Located where{};
  std::string_view rest = path;
  if (hasDrive) {
    where.drive = upper(path[0]);
    rest.remove_prefix(2);
  } else {
    // Relative paths and paths rooted without a drive start from the
    // current directory's drive.
    const std::optional<std::string> cwd = toSystem(currentDirectory());
    if (!cwd) return fail("the current directory lies on no drive");
    std::optional<Located> here = locate(*cwd, why);
    if (!here) return std::nullopt;
    where.drive = here->drive;
    if (rest.empty() || !isSeparator(rest.front())) where.parts = std::move(here->parts);
  }
  if (!roots_[index(where.drive)]) {
    if (why) *why = std::string("drive ") + where.drive + ": does not exist";
    return std::nullopt;
  }
  appendParts(where.parts, rest, false);
  return where;
}

std::optional<std::string> DriveMap::toHost(std::string_view systemPath, std::string* why) const {
  std::optional<Located> where = locate(systemPath, why);
  if (!where) return std::nullopt;
  std::string host = *roots_[index(where->drive)];
  for (const std::string& part : where->parts) {
    if (host.back() != '/') host += '/';
    host += systemNameToHost(part);
  }
  return host;
}

std::optional<std::string> DriveMap::absolute(std::string_view systemPath, std::string* why) const {
  std::optional<Located> where = locate(systemPath, why);
  if (!where) return std::nullopt;
  std::string path = std::string(1, where->drive) + ":";
  for (const std::string& part : where->parts) path += "\\" + part;
  if (where->parts.empty()) path += "\\";
  return path;
}

std::optional<std::string> DriveMap::toSystem(std::string_view hostPath, std::string* why) const {
  if (hostPath.empty() || hostPath.front() != '/') {
    if (why) *why = "the path is not absolute";
    return std::nullopt;
  }
  std::vector<std::string> parts;
  appendParts(parts, hostPath, true);

  std::optional<std::size_t> best;
  std::size_t bestDepth = 0;
  for (std::size_t d = 0; d < roots_.size(); ++d) {
    if (!roots_[d]) continue;
    std::vector<std::string> rootParts;
    appendParts(rootParts, *roots_[d], true);
    if (rootParts.size() > parts.size() || (best && rootParts.size() <= bestDepth)) continue;
    if (!std::equal(rootParts.begin(), rootParts.end(), parts.begin())) continue;
    best = d;
    bestDepth = rootParts.size();
  }
  if (!best) {
    if (why) *why = "its path lies on no drive";
    return std::nullopt;
  }
  std::string path = std::string(1, static_cast<char>('A' + *best)) + ":";
  for (std::size_t i = bestDepth; i < parts.size(); ++i) path += "\\" + hostNameToSystem(parts[i]);
  if (bestDepth == parts.size()) path += "\\";
  return path;
}

}  // namespace vellora
