#include "support/temp_drive.h"

#include <stdlib.h>
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

TempDrive::TempDrive() : root_(makeTempDir("vellora-drive-XXXXXX")) {
  ::setenv("VELLORA_DRIVE_C", root_.c_str(), 1);
}

TempDrive::~TempDrive() { removeAll(root_); }

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

std::vector<std::string> TempDrive::list(std::string_view relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(host(relative)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

FakeOpener::FakeOpener() : dir_(makeTempDir("vellora-opener-XXXXXX")), log_(dir_ + "/calls") {
  const std::string script = dir_ + "/xdg-open";
  // Written to a temporary name first, so the log only ever holds whole calls.
  writeHostFile(script,
                "#!/bin/sh\n"
                "printf '%s\\n' \"$@\" > \"" + log_ + ".$$\"\n"
                "cat \"" + log_ + ".$$\" >> \"" + log_ + "\"\n"
                "rm -f \"" + log_ + ".$$\"\n");
  ::chmod(script.c_str(), 0755);
  const char* path = std::getenv("PATH");
  oldPath_ = path ? path : "";
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
