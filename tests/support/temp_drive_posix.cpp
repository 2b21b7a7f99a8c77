#include "support/temp_drive.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace vellora::test {
namespace {

std::string makeTempDir(const char* pattern) {
  std::string path = (fs::temp_directory_path() / pattern).string();
  if (!mkdtemp(path.data())) throw std::runtime_error("mkdtemp failed");
  return path;
}

// Lets a test remove what it made read-only.
void removeAll(const std::string& path) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
  ::chmod(path.c_str(), 0755);
  fs::remove_all(path, ec);
}

}  // namespace

std::string readHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeHostFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Linux has all that the tests ask for.
std::string lacks(Feature) { return {}; }

TempDrive::TempDrive() : root_(makeTempDir("vellora-drive-XXXXXX")) {
  ::setenv("VELLORA_DRIVE_C", root_.c_str(), 1);
}

TempDrive::~TempDrive() {
  back();
  if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
  removeAll(root_);
}

std::string TempDrive::host(std::string_view relative) const {
  return relative.empty() ? root_ : root_ + "/" + std::string(relative);
}

void TempDrive::write(std::string_view relative, std::string_view bytes) const {
  writeHostFile(host(relative), bytes);
}
std::string TempDrive::read(std::string_view relative) const { return readHostFile(host(relative)); }
bool TempDrive::exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(host(relative), ec));
}
void TempDrive::mkdir(std::string_view relative) const { fs::create_directories(host(relative)); }
void TempDrive::remove(std::string_view relative) const {
  std::error_code ec;
  fs::remove_all(host(relative), ec);
}

void TempDrive::append(std::string_view relative, std::string_view bytes) const {
  std::ofstream out(host(relative), std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot append to " + host(relative));
}

void TempDrive::resize(std::string_view relative, std::uint64_t size) const {
  fs::resize_file(host(relative), size);
}

void TempDrive::makeReadOnly(std::string_view relative) const {
  const std::string path = host(relative);
  ::chmod(path.c_str(), fs::is_directory(path) ? 0555 : 0444);
}

void TempDrive::setTime(std::string_view relative, std::int64_t seconds, long nanos) const {
  const timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
  if (::utimensat(AT_FDCWD, host(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    throw std::runtime_error("cannot set the time of " + host(relative));
}

void TempDrive::hide(std::string_view relative) const {
  if (fs::path(host(relative)).filename().string().front() != '.')
    throw std::runtime_error("on Linux a hidden name starts with a dot: " + std::string(relative));
}

void TempDrive::link(std::string_view relative, std::string_view target) const {
  fs::create_symlink(target.starts_with('/') ? std::string(target) : host(target), host(relative));
}

void TempDrive::makeFifo(std::string_view relative) const {
  if (::mkfifo(host(relative).c_str(), 0644) != 0) throw std::runtime_error("cannot make " + host(relative));
}

std::string TempDrive::mountSmallDisk(std::string_view relative, const char* options) {
  mkdir(relative);
  if (::geteuid() != 0) return "mounting a small file system needs root";
  if (::mount("tmpfs", host(relative).c_str(), "tmpfs", 0, options) != 0) return "mount failed";
  mounted_ = host(relative);
  return {};
}

void TempDrive::enter(std::string_view relative) {
  if (left_.empty()) left_ = fs::current_path().string();
  fs::current_path(host(relative));
}

void TempDrive::back() {
  if (left_.empty()) return;
  fs::current_path(left_);
  left_.clear();
}

std::vector<std::string> TempDrive::list(std::string_view relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(host(relative)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

constexpr const char* kVelloraId = "io.github.vellora.Vellora.desktop";
constexpr const char* kPlayerId = "vellora-test-player.desktop";

// Appends the arguments of each call to `log`, one a line; written to a
// temporary name first, so the log only ever holds whole calls.
std::string recordingScript(const std::string& log) {
  return "printf '%s\\n' \"$@\" > \"" + log + ".$$\"\n"
         "cat \"" + log + ".$$\" >> \"" + log + "\"\n"
         "rm -f \"" + log + ".$$\"\n";
}

void writeScript(const std::string& path, const std::string& body) {
  writeHostFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

std::string desktopEntry(const std::string& name, const std::string& program) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + program +
         " %f\nMimeType=audio/x-wav;audio/wav;audio/vnd.wave;inode/directory;text/html;\n";
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

FakeOpener::FakeOpener(Choice choice, const std::string& playerScript)
    : dir_(makeTempDir("vellora-desktop-XXXXXX")) {
  const std::string applications = dir_ + "/data/applications";
  fs::create_directories(applications);
  fs::create_directories(dir_ + "/config");
  fs::create_directories(dir_ + "/config-dirs");
  fs::create_directories(dir_ + "/system");
  // The system's MIME database tells a .wav file's type; its applications stay out.
  fs::create_directory_symlink("/usr/share/mime", dir_ + "/system/mime");

  writeScript(dir_ + "/vellora", recordingScript(dir_ + "/vellora-calls"));
  writeHostFile(applications + "/" + kVelloraId, desktopEntry("Vellora", dir_ + "/vellora"));
  if (choice != Choice::VelloraAlone) {
    writeScript(dir_ + "/player", playerScript.empty() ? recordingScript(dir_ + "/calls") : playerScript);
    writeHostFile(applications + "/" + kPlayerId, desktopEntry("Recording player", dir_ + "/player"));
  }
  // The desktop's choice in mimeapps.list; every application registered for
  // a type, in order, in the cache that update-desktop-database writes.
  const std::string choiceId = choice == Choice::Player ? kPlayerId : kVelloraId;
  const std::string registered =
      std::string(kVelloraId) + ";" + (choice == Choice::VelloraAlone ? "" : std::string(kPlayerId) + ";");
  std::string defaults = "[Default Applications]\n", cache = "[MIME Cache]\n";
  for (const char* type : {"audio/x-wav", "inode/directory", "text/html"}) {
    defaults += std::string(type) + "=" + choiceId + "\n";
    cache += std::string(type) + "=" + registered + "\n";
  }
  writeHostFile(dir_ + "/config/mimeapps.list", defaults);
  writeHostFile(applications + "/mimeinfo.cache", cache);

  // No session bus either: GIO would announce each start on it.
  const std::pair<const char*, std::optional<std::string>> environment[] = {
      {"XDG_DATA_HOME", dir_ + "/data"},         {"XDG_DATA_DIRS", dir_ + "/system"},
      {"XDG_CONFIG_HOME", dir_ + "/config"},     {"XDG_CONFIG_DIRS", dir_ + "/config-dirs"},
      {"XDG_CURRENT_DESKTOP", std::nullopt},     {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
  };
  for (const auto& [name, value] : environment) {
    const char* old = std::getenv(name);
    savedEnvironment_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
}

FakeOpener::~FakeOpener() {
  for (const auto& [name, value] : savedEnvironment_) {
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
  }
  removeAll(dir_);
}

std::vector<std::string> FakeOpener::velloraArguments() const { return readLines(dir_ + "/vellora-calls"); }

std::vector<std::string> FakeOpener::arguments() const { return readLines(dir_ + "/calls"); }

std::vector<std::string> FakeOpener::waitForArguments(std::size_t calls) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<std::string> lines = arguments();
  while (lines.size() < calls && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lines = arguments();
  }
  return lines;
}

}  // namespace vellora::test
