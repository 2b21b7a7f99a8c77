#pragma once

#include <windows.h>

#include "shellfiles/dialogs.h"

namespace vellora {

// Modal Win32 boxes titled with the application name, "vellora"; the input
// box is the program's own dialog.
class Win32Dialogs : public Dialogs {
 public:
  void setOwner(HWND owner) { owner_ = owner; }
  void message(const std::string& text) override;
  std::string prompt(const std::string& text, const std::string& defaultAnswer) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace vellora
