#pragma once

#include <string>

namespace vellora {

// The desktop entry under which Vellora registers for WAV files.
inline constexpr const char* kVelloraDesktopId = "io.github.vellora.Vellora.desktop";

enum class DesktopOpen {
  Started,        // an application is opening the path
  NoApplication,  // nothing but Vellora is registered for the path's type
  Failed,         // the chosen application did not start, or GIO is missing
};

// Opens a host path with the application the desktop chose for its type,
// through GIO. Never with Vellora itself: when the desktop's choice is
// Vellora, the next application registered for the type opens it, and when
// there is none, nothing does. The application starts detached, with
// /dev/null as its standard input and output, and nothing waits for it.
DesktopOpen openOnDesktop(const std::string& hostPath);

}  // namespace vellora
