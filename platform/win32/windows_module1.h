#pragma once

#include "shellfiles/module1.h"

namespace vellora {

// The operating-system functions themselves: ShellExecuteW from shell32,
// mciSendStringW and mciExecute from winmm. Strings cross as UTF-16, so
// paths in any language reach the shell intact.
class WindowsModule1 : public Module1 {
 public:
  // The shell wants COM on the calling thread; it is set up here if the
  // program has not done so already.
  WindowsModule1();
  ~WindowsModule1() override;
  WindowsModule1(const WindowsModule1&) = delete;
  WindowsModule1& operator=(const WindowsModule1&) = delete;

  std::intptr_t ShellExecuteA(std::uint32_t hwnd, const std::string& operation,
                              const std::string& file, const std::string& parameters,
                              const std::string& directory, std::int32_t showCmd) override;
  // mciExecute exists only with 8-bit strings: the command goes over in the
  // ANSI code page, and on failure Windows shows its own message box.
  std::int32_t mciExecute(const std::string& command) override;
  std::int32_t mciSendStringA(const std::string& command, char* returnString,
                              std::int32_t returnLength, std::uint32_t hwndCallback) override;

 private:
  bool comStarted_ = false;
};

}  // namespace vellora
