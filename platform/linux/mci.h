#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vellora {

// Windows' media-control error codes that this interpreter answers with.
inline constexpr std::int32_t MCIERR_UNRECOGNIZED_COMMAND = 261;
inline constexpr std::int32_t MCIERR_INVALID_DEVICE_NAME = 263;
inline constexpr std::int32_t MCIERR_CANNOT_LOAD_DRIVER = 266;
inline constexpr std::int32_t MCIERR_MISSING_COMMAND_STRING = 267;
inline constexpr std::int32_t MCIERR_PARAM_OVERFLOW = 268;
inline constexpr std::int32_t MCIERR_MISSING_DEVICE_NAME = 292;

struct MciReply {
  std::int32_t error = 0;
  std::string text;  // the reply string of a successful command
};

// A command split as the interpreter reads it: "status thisaudio position"
// is the verb "status", the device "thisaudio" and the rest "position". A
// device name may be quoted to hold blanks.
struct MciCommand {
  std::string_view verb;
  std::string_view device;
  std::string_view rest;
};
MciCommand splitCommand(std::string_view command);

// Interprets media-control command strings. This port has no wave-audio
// driver, so no device can be opened and the table of open devices stays
// empty: every command for a device answers that it is not open.
class MciInterpreter {
 public:
  MciReply send(std::string_view command) const;
  static std::string errorText(std::int32_t error);
};

// Copies `reply` into a caller's buffer of `room` characters, NUL-terminated
// and never past the room; returns MCIERR_PARAM_OVERFLOW when it had to cut.
std::int32_t writeReply(std::string_view reply, char* buffer, std::int32_t room);

}  // namespace vellora
