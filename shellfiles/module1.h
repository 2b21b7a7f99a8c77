#pragma once

#include <cstdint>
#include <string>

namespace vellora {

// The operating-system functions the system calls, and nothing else.
// Strings go over in the 8-bit code page, which here is UTF-8 unchanged.
class Module1 {
 public:
  virtual ~Module1() = default;

  // By the shell's convention a result above 32 means the program started.
  virtual std::intptr_t ShellExecuteA(std::uint32_t hwnd, const std::string& operation,
                                      const std::string& file, const std::string& parameters,
                                      const std::string& directory, std::int32_t showCmd) = 0;
  // Nonzero on success; a failure is shown to the user by the platform.
  virtual std::int32_t mciExecute(const std::string& command) = 0;
  // Writes a NUL-terminated reply into `returnString`, never more than
  // `returnLength` characters including the NUL; returns the error code, 0 on success.
  virtual std::int32_t mciSendStringA(const std::string& command, char* returnString,
                                      std::int32_t returnLength, std::uint32_t hwndCallback) = 0;
};

// Windows' own headers define these two as macros of the same values.
#ifndef SW_HIDE
constexpr std::int16_t SW_HIDE = 0;
#endif
#ifndef SW_MINIMIZE
constexpr std::int16_t SW_MINIMIZE = 6;
#endif

}  // namespace vellora
