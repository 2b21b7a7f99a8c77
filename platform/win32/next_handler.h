#pragma once

#include <string>

namespace vellora::win32 {

// Vellora may be the program Windows opens a type of recording with ("Open
// with", always): then a copy handed to the shell would open in another
// Vellora window instead of a player. These find the next program
// registered for the type, as the Linux side takes the next desktop entry.

// True when the default program for files ending in `extension` (".wav") is Vellora.
bool openedByVellora(const std::wstring& extension);

// Starts, with `path`, the first program other than Vellora that the
// registry lists for `extension`: its OpenWithProgids, then its
// OpenWithList. False when there is none, or none could start.
bool openWithNextHandler(const std::wstring& path, const std::wstring& extension, int showCommand);

}  // namespace vellora::win32
