#pragma once

#include <string>

#include "shellfiles/file_system.h"

namespace vellora {

// The input box Text1, as the finder reads and sets it.
class InputBox {
 public:
  virtual ~InputBox() = default;
  virtual std::string text() = 0;
  virtual void setText(const std::string& text) = 0;
};

// Replaces the box's text by the newest WAV file of the directory it points
// into: the text up to its last "\". Among equal times the name listed last
// wins; with no WAV file the box gets the directory and a "\".
void getLatest(FileSystem& files, InputBox& box);

}  // namespace vellora
