#include "platform/host_module1.h"

#include "platform/shell_execute.h"

namespace vellora {

HostModule1::HostModule1(const DriveMap& drives) : drives_(drives) {}

std::intptr_t HostModule1::ShellExecuteA(std::uint32_t, const std::string& operation,
                                         const std::string& file, const std::string&,
                                         const std::string&, std::int32_t) {
  // The show command has no equivalent for a program started on the host.
  return shellExecuteOpen(drives_, operation, file);
}

namespace {
// The media-control interpreter comes with the media controls; until then
// every command is answered as one for a device that is not open.
constexpr std::int32_t MCIERR_INVALID_DEVICE_NAME = 263;
}  // namespace

std::int32_t HostModule1::mciExecute(const std::string&) {
  if (showError_) showError_("The specified device is not open or is not recognized by MCI.");
  return 0;
}

std::int32_t HostModule1::mciSendStringA(const std::string&, char* returnString,
                                         std::int32_t returnLength, std::uint32_t) {
  if (returnString && returnLength > 0) returnString[0] = '\0';
  return MCIERR_INVALID_DEVICE_NAME;
}

}  // namespace vellora
