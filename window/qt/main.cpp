#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/linux/drive_map.h"
#include "platform/linux/host_file_system.h"
#include "platform/linux/host_module1.h"
#include "platform/linux/leftover_guard.h"
#include "platform/program_directory.h"
#include "window/qt/form1.h"
#include "window/qt/qt_clock.h"
#include "window/qt/qt_dialogs.h"

namespace {

// Qt aborts when it finds no display; --help and --version must work without one.
bool hasGraphicalSession() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
         qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

void printTo(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1/vellora.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  const bool graphical = hasGraphicalSession();
  std::unique_ptr<QCoreApplication> app = graphical ? std::make_unique<QApplication>(argc, argv)
                                                    : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Vellora"));
  QCoreApplication::setApplicationName(QStringLiteral("vellora"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELLORA_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Copies a WAV file under a name carrying a speed percentage, with only its\n"
      "sample rate and byte rate rewritten, so the copy plays slower or faster."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("A WAV file to show in the input box (the first one counts)."),
                               QStringLiteral("[FILE...]"));
  if (!parser.parse(QCoreApplication::arguments())) {
    printTo(stderr, QStringLiteral("vellora: %1\n\n%2").arg(parser.errorText(), parser.helpText()));
    return 2;
  }
  if (parser.isSet(help)) {
    printTo(stdout, parser.helpText());
    return 0;
  }
  if (parser.isSet(version)) {
    printTo(stdout, QStringLiteral("vellora %1\n").arg(QCoreApplication::applicationVersion()));
    return 0;
  }
  if (!graphical) {
    std::fputs(
        "vellora: the window needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
        "From a terminal, convert with vellora-cli instead, e.g. vellora-cli -p 90 talk.wav\n"
        "(see vellora-cli --help).\n",
        stderr);
    return 1;
  }
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vellora.Vellora"));
  QApplication::setWindowIcon(applicationIcon());

  using namespace vellora;
  const DriveMap drives = DriveMap::fromEnvironment();
  installLeftoverGuard();
  HostFileSystem files(drives, temporariesFromEnvironment());
  HostModule1 system(files.drives());
  ShellOpener shell(system, programDirectory(drives).value_or("C:\\"));
  QtDialogs dialogs;
  system.setErrorDisplay([&dialogs](const std::string& text) { dialogs.message(text); });

  // The file "Open with" hands over goes on the drive map as a dropped file does.
  std::string startFile;
  if (!parser.positionalArguments().isEmpty()) {
    const QString hostPath = QFileInfo(parser.positionalArguments().front()).absoluteFilePath();
    if (std::optional<std::string> onMap = files.drives().toSystem(hostPath.toStdString()))
      startFile = *onMap;
    else
      printTo(stderr, QStringLiteral("vellora: %1 lies on no drive; showing the newest recording instead\n")
                          .arg(hostPath));
  }

  QtClock clock;
  Form1 form({files, shell, dialogs, files.drives(), system, clock}, startFile);
  dialogs.setParent(&form);
  form.show();
  return QApplication::exec();
}
