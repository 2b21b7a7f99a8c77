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

FakeOpener::FakeOpener(Kind kind) : dir_(makeTempDir("vellora-opener-XXXXXX")), log_(dir_ + "/calls") {
  const char* path = std::getenv("PATH");
  oldPath_ = path ? path : "";
  if (kind == Missing) {
    ::setenv("PATH", dir_.c_str(), 1);
    return;
  }
  const std::string script = dir_ + "/xdg-open";
  // Written to a temporary name first, so the log only ever holds whole calls.
  writeHostFile(script,
                "#!/bin/sh\n"
                "printf '%s\\n' \"$@\" > \"" + log_ + ".$$\"\n"
                "cat \"" + log_ + ".$$\" >> \"" + log_ + "\"\n"
                "rm -f \"" + log_ + ".$$\"\n");
  ::chmod(script.c_str(), 0755);
  ::setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
}

FakeOpener::~FakeOpener() {
  ::setenv("PATH", oldPath_.c_str(), 1);
  removeAll(dir_);
}

std::vector<std::string> FakeOpener::arguments() const {
  std::vector<std::string> lines;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

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
