#include "platform/linux/host_module1.h"

#include "platform/linux/shell_execute.h"

namespace vellora {

HostModule1::HostModule1(const DriveMap& drives) : drives_(drives) {}

std::intptr_t HostModule1::ShellExecuteA(std::uint32_t, const std::string& operation,
                                         const std::string& file, const std::string&,
                                         const std::string&, std::int32_t) {
  // The show command has no equivalent for a program started on the host.
  return shellExecuteOpen(drives_, operation, file);
}

std::int32_t HostModule1::mciExecute(const std::string& command) {
  const MciReply reply = mci_.send(command);
  if (reply.error == 0) return 1;
  if (showError_) showError_(MciInterpreter::errorText(reply.error));
  return 0;
}

std::int32_t HostModule1::mciSendStringA(const std::string& command, char* returnString,
                                         std::int32_t returnLength, std::uint32_t) {
  const MciReply reply = mci_.send(command);
  // A failed command leaves an empty reply.
  const std::int32_t written = writeReply(reply.text, returnString, returnLength);
  return reply.error != 0 ? reply.error : written;
}

}  // namespace vellora
