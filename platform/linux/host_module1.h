#pragma once

#include <functional>
#include <string>

#include "platform/linux/drive_map.h"
#include "platform/linux/mci.h"
#include "shellfiles/module1.h"

namespace vellora {

// The operating-system functions on the host: the desktop's opener for the
// shell, and a media-control interpreter that has no wave-audio driver.
class HostModule1 : public Module1 {
 public:
  explicit HostModule1(const DriveMap& drives);

  // Where mciExecute shows a failed command's text; the window supplies a
  // message box, other callers may leave it empty.
  void setErrorDisplay(std::function<void(const std::string&)> show) { showError_ = std::move(show); }

  std::intptr_t ShellExecuteA(std::uint32_t hwnd, const std::string& operation,
                              const std::string& file, const std::string& parameters,
                              const std::string& directory, std::int32_t showCmd) override;
  std::int32_t mciExecute(const std::string& command) override;
  std::int32_t mciSendStringA(const std::string& command, char* returnString,
                              std::int32_t returnLength, std::uint32_t hwndCallback) override;

 private:
  const DriveMap& drives_;
  MciInterpreter mci_;
  std::function<void(const std::string&)> showError_;
};

}  // namespace vellora
