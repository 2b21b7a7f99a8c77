#include "platform/linux/mci.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vellora {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view skipBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

// The next blank-separated word; a word that starts with a quote runs to the
// closing quote, or to the end of the text when there is none.
std::string_view nextWord(std::string_view& s) {
  s = skipBlanks(s);
  std::size_t end = 0;
  std::string_view word;
  if (!s.empty() && s.front() == '"') {
    end = s.find('"', 1);
    word = s.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
    end = end == std::string_view::npos ? s.size() : end + 1;
  } else {
    while (end < s.size() && !isBlank(s[end])) ++end;
    word = s.substr(0, end);
  }
  s.remove_prefix(end);
  return word;
}

// The verbs of the command-string language, in lower case.
constexpr std::array<std::string_view, 42> kVerbs = {
    "break",   "capability", "capture",  "close",    "configure", "copy",   "cue",     "cut",
    "delete",  "escape",     "freeze",   "info",     "list",      "load",   "monitor", "open",
    "paste",   "pause",      "play",     "put",      "quality",   "realize", "record", "reserve",
    "restore", "resume",     "save",     "seek",     "set",       "setaudio", "setvideo", "signal",
    "spin",    "status",     "step",     "stop",     "sysinfo",   "undo",   "unfreeze", "update",
    "where",   "window"};

std::string lowerCase(std::string_view s) {
  std::string lower(s);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

}  // namespace

MciCommand splitCommand(std::string_view command) {
  MciCommand parts;
  parts.verb = nextWord(command);
  parts.device = nextWord(command);
  parts.rest = skipBlanks(command);
  return parts;
}

MciReply MciInterpreter::send(std::string_view command) const {
  // Anything from a NUL on is not part of a C string command.
  command = command.substr(0, std::min(command.size(), command.find('\0')));
  const MciCommand parts = splitCommand(command);
  if (parts.verb.empty()) return {MCIERR_MISSING_COMMAND_STRING, {}};
  const std::string verb = lowerCase(parts.verb);
  if (std::find(kVerbs.begin(), kVerbs.end(), verb) == kVerbs.end())
    return {MCIERR_UNRECOGNIZED_COMMAND, {}};
  if (parts.device.empty()) return {MCIERR_MISSING_DEVICE_NAME, {}};
  if (verb == "open") return {MCIERR_CANNOT_LOAD_DRIVER, {}};
  // With no device open, closing all of them has nothing to do.
  if (verb == "close" && lowerCase(parts.device) == "all") return {};
  return {MCIERR_INVALID_DEVICE_NAME, {}};
}

std::string MciInterpreter::errorText(std::int32_t error) {
  switch (error) {
    case 0: return {};
    case MCIERR_UNRECOGNIZED_COMMAND: return "The driver cannot recognize the specified command.";
    case MCIERR_INVALID_DEVICE_NAME: return "The specified device is not open or is not recognized by MCI.";
    case MCIERR_CANNOT_LOAD_DRIVER:
      return "There is an undetectable problem in loading the specified device driver.";
    case MCIERR_MISSING_COMMAND_STRING: return "No command was specified.";
    case MCIERR_PARAM_OVERFLOW:
      return "The output string was too large to fit in the return buffer. Increase the size of "
             "the buffer.";
    case MCIERR_MISSING_DEVICE_NAME:
      return "The specified command requires an alias, file, driver, or device name. Please "
             "supply one.";
  }
  return "Unknown error " + std::to_string(error) + ".";
}

std::int32_t writeReply(std::string_view reply, char* buffer, std::int32_t room) {
  if (!buffer || room <= 0) return reply.empty() ? 0 : MCIERR_PARAM_OVERFLOW;
  const std::size_t fits = std::min(reply.size(), static_cast<std::size_t>(room) - 1);
  std::memcpy(buffer, reply.data(), fits);
  buffer[fits] = '\0';
  return fits < reply.size() ? MCIERR_PARAM_OVERFLOW : 0;
}

}  // namespace vellora
