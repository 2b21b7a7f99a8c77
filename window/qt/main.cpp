#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/linux/host_file_system.h"
#include "platform/linux/host_module1.h"
#include "platform/linux/leftover_guard.h"
#include "platform/program_directory.h"
#include "window/qt/form1.h"
#include "window/qt/qt_clock.h"
#include "window/qt/qt_dialogs.h"

namespace {

constexpr char kUsage[] =
    "Usage: vellora [options] [FILE...]\n"
    "Copies a recording under a name carrying a speed percentage, with only its\n"
    "sample rate and byte rate rewritten, so the copy plays slower or faster.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Print this help and exit.\n"
    "  -V, --version  Print the version and exit.\n"
    "\n"
    "Arguments:\n"
    "  FILE           A recording to show in the input box (the first one counts).\n";

enum class Request { Window, Help, Version };

// Read before Qt starts: QApplication connects to the display at once and
// aborts when it cannot, and --help and --version need none. -v, which
// vellora-cli reads as "verbose", still means the version here, for the
// window has nothing to be verbose about.
Request requestOf(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") return Request::Help;
    if (argument == "-V" || argument == "--version" || argument == "-v") return Request::Version;
  }
  return Request::Window;
}

// The files named after Qt has taken its own options (-platform, -style, ...),
// as the bytes they are; nullopt, with the option in `unknown`, for an
// option that is no one's.
std::optional<std::vector<std::string>> filesOf(int argc, char** argv, std::string& unknown) {
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && argument.size() > 1 && argument.front() == '-') {
      unknown = argument;
      return std::nullopt;
    } else {
      files.emplace_back(argument);
    }
  }
  return files;
}

bool hasGraphicalSession() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
         qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// Qt ends with qFatal and abort() (status 134, "Reinstalling the application
// may fix this problem") when DISPLAY names a display that is gone, or a
// Wayland session lacks Qt's Wayland plugin. While QApplication starts, its
// platform chatter is held back and a fatal message becomes ours, with
// what Qt said before it, and status 1.
QtMessageHandler previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> heldMessages;

void startupMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    heldMessages.emplace_back(type, text);
    return;
  }
  const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
  std::fprintf(stderr,
               "vellora: the window cannot reach a graphical session (DISPLAY=%s, WAYLAND_DISPLAY=%s).\n"
               "The display may be gone, or a Wayland session may lack Qt's Wayland plugin\n"
               "(package qt6-wayland). From a terminal, convert with vellora-cli instead,\n"
               "e.g. vellora-cli -p 90 talk.wav (see vellora-cli --help).\n",
               display.isEmpty() ? "(unset)" : display.constData(),
               wayland.isEmpty() ? "(unset)" : wayland.constData());
  for (const auto& [heldType, heldText] : heldMessages)
    if (heldType != QtDebugMsg) std::fprintf(stderr, "  Qt: %s\n", qUtf8Printable(heldText));
  std::_Exit(1);
}

// Hands the held messages on once the window has a display after all.
void endStartup() {
  qInstallMessageHandler(previousHandler);
  for (const auto& [type, text] : heldMessages) qt_message_output(type, QMessageLogContext(), text);
  heldMessages.clear();
}

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1/vellora.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  switch (requestOf(argc, argv)) {
    case Request::Help:
      std::fputs(kUsage, stdout);
      return 0;
    case Request::Version:
      std::fputs("vellora " VELLORA_VERSION "\n", stdout);
      return 0;
    case Request::Window:
      break;
  }
  if (!hasGraphicalSession()) {
    std::fputs(
        "vellora: the window needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
        "From a terminal, convert with vellora-cli instead, e.g. vellora-cli -p 90 talk.wav\n"
        "(see vellora-cli --help).\n",
        stderr);
    return 1;
  }
  previousHandler = qInstallMessageHandler(startupMessage);
  QApplication app(argc, argv);
  endStartup();
  std::string unknown;
  const std::optional<std::vector<std::string>> arguments = filesOf(argc, argv, unknown);
  if (!arguments) {
    std::fprintf(stderr, "vellora: unknown option '%s'\n\n%s", unknown.c_str(), kUsage);
    return 2;
  }
  QCoreApplication::setOrganizationName(QStringLiteral("Vellora"));
  QCoreApplication::setApplicationName(QStringLiteral("vellora"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELLORA_VERSION));
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
  std::string why;
  const std::optional<std::string> start = startFile(*arguments, files.drives(), &why);
  if (!arguments->empty() && !start)
    std::fprintf(stderr, "vellora: %s: %s; showing the newest recording instead\n", arguments->front().c_str(),
                 why.c_str());

  QtClock clock;
  Form1 form({files, shell, dialogs, files.drives(), system, clock}, start.value_or(""));
  dialogs.setParent(&form);
  form.show();
  return QApplication::exec();
}
