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
// look-alike, or the escape mark itself, gets the mark before it, and a byte
// that is not UTF-8 (latin\xe9.wav from an old disk) stands as the mark and
// its two hex digits, so that every host name comes back unchanged and every
// system path is valid UTF-8, which the windows' text boxes keep.
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

// The length of the well-formed UTF-8 character `text` starts with, or 0.
std::size_t utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  else return 0;
  if (lead == 0xE0) low = 0xA0;       // no overlong forms
  else if (lead == 0xED) high = 0x9F;  // no surrogates
  else if (lead == 0xF0) low = 0x90;
  else if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte that the two hex digits `text` starts with stand for, when it is
// one that UTF-8 never holds alone (80 to FF).
std::optional<char> escapedByte(std::string_view text) {
  if (text.size() < 2 || hexValue(text[0]) < 8 || hexValue(text[1]) < 0) return std::nullopt;
  return static_cast<char>(hexValue(text[0]) * 16 + hexValue(text[1]));
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
    const std::size_t length = utf8Length(name.substr(i));
    if (length == 0) {
      const auto b = static_cast<unsigned char>(name[i]);
      system += kEscape;
      system += kHexDigits[b >> 4];
      system += kHexDigits[b & 15];
      ++i;
      continue;
    }
    const auto reserved = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                       [c = name[i]](const LookAlike& l) { return l.reserved == c; });
    if (reserved != std::end(kLookAlikes)) system += reserved->fullWidth;
    else system += name.substr(i, length);
    i += length;
  }
  return system;
}

std::string systemNameToHost(std::string_view name) {
  std::string host;
  for (std::size_t i = 0; i < name.size();) {
    std::string_view mark = markAt(name.substr(i));
    if (mark == kEscape) {
      // An escaped mark stands for itself, two hex digits for their byte,
      // and a lone escape mark for itself too.
      const std::string_view rest = name.substr(i + mark.size());
      if (const std::optional<char> byte = escapedByte(rest)) {
        host += *byte;
        i += mark.size() + 2;
        continue;
      }
      const std::string_view escaped = markAt(rest);
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
  if (hostPath.empty()) {
    if (why) *why = "the path is empty";
    return std::nullopt;
  }
  std::vector<std::string> parts;
  if (hostPath.front() != '/') appendParts(parts, currentDirectory(), true);
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

std::optional<std::string> DriveMap::typedHostPath(std::string_view typed) const {
  std::string host;
  if (typed.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (!home) return std::nullopt;
    host = std::string(home) + std::string(typed.substr(1));
  } else if (typed.starts_with("/")) {
    host = typed;
  } else {
    return std::nullopt;
  }
  std::optional<std::string> system = toSystem(host);
  // A folder typed with its trailing "/" keeps it, as "\".
  if (system && host.back() == '/' && system->back() != '\\') *system += '\\';
  return system;
}

}  // namespace vellora
