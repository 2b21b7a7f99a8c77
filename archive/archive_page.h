#pragma once

#include <string>

#include "shellfiles/clock.h"
#include "shellfiles/dialogs.h"
#include "shellfiles/file_system.h"
#include "shellfiles/shell_open.h"

namespace vellora {

inline constexpr const char* kContactAddress = "vellora@example.org";

struct ArchiveServices {
  FileSystem& files;
  ShellOpener& shell;
  Dialogs& dialogs;
  Clock& clock;
};

// The HTML index of one archived measurement: a single table row, no line end.
std::string archivePageText(const std::string& heading, const std::string& dateTime);

// Asks for a subdirectory of C:\temp\vellora\, files the measurement files
// from C:\temp into it, writes index.htm for them and opens it minimized.
// Every step that fails is skipped; cancelling does nothing at all.
void archivedata(ArchiveServices& services, const std::string& label1Caption);

}  // namespace vellora
