#include <QApplication>

#include "platform/drive_map.h"
#include "platform/host_file_system.h"
#include "platform/host_module1.h"
#include "platform/leftover_guard.h"
#include "platform/program_directory.h"
#include "window/form1.h"
#include "window/qt_clock.h"
#include "window/qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vellora"));

  using namespace vellora;
  const DriveMap drives = DriveMap::fromEnvironment();
  installLeftoverGuard();
  HostFileSystem files(drives, temporariesFromEnvironment());
  HostModule1 system(files.drives());
  ShellOpener shell(system, programDirectory(drives).value_or("C:\\"));
  QtDialogs dialogs;
  system.setErrorDisplay([&dialogs](const std::string& text) { dialogs.message(text); });

  QtClock clock;
  Form1 form({files, shell, dialogs, files.drives(), system, clock});
  dialogs.setParent(&form);
  form.show();
  return QApplication::exec();
}
