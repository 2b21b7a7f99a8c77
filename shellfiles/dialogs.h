#pragma once

#include <string>

namespace vellora {

// The two modal messages of the program; both carry the application title.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box with an OK button; returns when the user closes it.
  virtual void message(const std::string& text) = 0;
  // An input box; returns the answer, or an empty text when the user cancels.
  virtual std::string prompt(const std::string& text, const std::string& defaultAnswer) = 0;
};

}  // namespace vellora
