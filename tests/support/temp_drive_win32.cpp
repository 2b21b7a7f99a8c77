#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/win32/wide.h"
#include "support/temp_drive.h"

namespace fs = std::filesystem;

namespace vellora::test {
namespace {

using win32::toWide;
using win32::UniqueHandle;

fs::path pathOf(const std::string& utf8) { return fs::path(toWide(utf8)); }

// What Wine puts on its drive C:; everything else there is the tests'.
bool belongsToThePrefix(const std::wstring& name) {
  for (const wchar_t* own : {L"windows", L"users", L"Program Files", L"Program Files (x86)", L"ProgramData"})
    if (::CompareStringOrdinal(name.c_str(), -1, own, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

bool underWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool keepNothing(const std::wstring&) { return false; }

// Removes everything below `dir` that `keep` does not keep, read-only files too.
void removeBelow(const std::wstring& dir, bool (*keep)(const std::wstring&) = keepNothing) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || keep(name)) continue;
    const std::wstring full = dir + L"\\" + name;
    ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      removeBelow(full);
      ::RemoveDirectoryW(full.c_str());
    } else {
      ::DeleteFileW(full.c_str());
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

void emptyDriveC() { removeBelow(LR"(\\?\C:)", belongsToThePrefix); }

UniqueHandle openForWriting(const std::string& path, DWORD access, DWORD disposition) {
  UniqueHandle file(::CreateFileW(win32::systemPath(path).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw std::runtime_error("cannot write " + path + ": " + win32::reasonFor(::GetLastError()));
  return file;
}

void writeTo(HANDLE file, std::string_view bytes, const std::string& path) {
  DWORD written = 0;
  if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string readHostFile(const std::string& path) {
  UniqueHandle file(::CreateFileW(win32::systemPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
  if (!file) throw std::runtime_error("cannot read " + path);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

void writeHostFile(const std::string& path, std::string_view bytes) {
  writeTo(openForWriting(path, GENERIC_WRITE, CREATE_ALWAYS).get(), bytes, path);
}

std::string lacks(Feature feature) {
  switch (feature) {
    case Feature::SymbolicLinks: return "symbolic links need a privilege on Windows";
    case Feature::Fifos: return "Windows has no FIFOs among its files";
    case Feature::ReadOnlyDirectories: return "a folder's read-only flag keeps nobody from writing into it";
    case Feature::ReservedCharactersInNames: return "Windows names cannot hold : ? * < > | \" or a backslash";
    case Feature::RecordingPlayer: return "Windows' shell would start the real player";
    case Feature::CaseSensitiveNames: return "Windows names ignore case";
    case Feature::DriveMap: return "Windows paths are the system's own, with no drive map";
  }
  return {};
}

TempDrive::TempDrive() : root_("C:") {
  if (!underWine()) throw std::runtime_error("these tests take over drive C:, which only a Wine prefix lends");
  emptyDriveC();
}

TempDrive::~TempDrive() {
  back();
  emptyDriveC();
}

std::string TempDrive::host(std::string_view relative) const {
  std::string path = root_ + "\\" + std::string(relative);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void TempDrive::write(std::string_view relative, std::string_view bytes) const {
  writeHostFile(host(relative), bytes);
}
std::string TempDrive::read(std::string_view relative) const { return readHostFile(host(relative)); }
bool TempDrive::exists(std::string_view relative) const {
  return ::GetFileAttributesW(win32::systemPath(host(relative)).c_str()) != INVALID_FILE_ATTRIBUTES;
}
void TempDrive::mkdir(std::string_view relative) const { fs::create_directories(pathOf(host(relative))); }

void TempDrive::remove(std::string_view relative) const {
  const std::wstring path = win32::systemPath(host(relative));
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileW(path.c_str())) return;
  removeBelow(path);
  ::RemoveDirectoryW(path.c_str());
}

std::vector<std::string> TempDrive::list(std::string_view relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(pathOf(host(relative)))) {
    const std::wstring name = entry.path().filename().wstring();
    if (relative.empty() && belongsToThePrefix(name)) continue;  // the drive as the tests made it
    names.push_back(win32::toUtf8(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

void TempDrive::append(std::string_view relative, std::string_view bytes) const {
  writeTo(openForWriting(host(relative), FILE_APPEND_DATA, OPEN_EXISTING).get(), bytes, host(relative));
}

void TempDrive::resize(std::string_view relative, std::uint64_t size) const {
  const UniqueHandle file = openForWriting(host(relative), GENERIC_WRITE, OPEN_EXISTING);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
    throw std::runtime_error("cannot resize " + host(relative));
}

void TempDrive::makeReadOnly(std::string_view relative) const {
  ::SetFileAttributesW(win32::systemPath(host(relative)).c_str(), FILE_ATTRIBUTE_READONLY);
}

void TempDrive::setTime(std::string_view relative, std::int64_t seconds, long nanos) const {
  // FILETIME counts tenths of microseconds since 1601.
  const auto ticks = static_cast<std::uint64_t>(seconds * 10'000'000 + nanos / 100 + 116444736000000000);
  const FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  const UniqueHandle file(::CreateFileW(win32::systemPath(host(relative)).c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file || !::SetFileTime(file.get(), nullptr, nullptr, &time))
    throw std::runtime_error("cannot set the time of " + host(relative));
}

void TempDrive::hide(std::string_view relative) const {
  const std::wstring path = win32::systemPath(host(relative));
  ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
}

void TempDrive::link(std::string_view, std::string_view) const {
  throw std::runtime_error(lacks(Feature::SymbolicLinks));
}

void TempDrive::makeFifo(std::string_view) const { throw std::runtime_error(lacks(Feature::Fifos)); }

std::string TempDrive::mountSmallDisk(std::string_view relative, const char*) {
  mkdir(relative);
  return "Wine mounts no file systems";
}

void TempDrive::enter(std::string_view relative) {
  if (left_.empty()) left_ = win32::toUtf8(fs::current_path().wstring());
  fs::current_path(pathOf(host(relative)));
}

void TempDrive::back() {
  if (left_.empty()) return;
  fs::current_path(pathOf(left_));
  left_.clear();
}

// The shell of Windows cannot be told to start a stand-in; nothing is recorded.
FakeOpener::FakeOpener(Choice, const std::string&) {}
FakeOpener::~FakeOpener() = default;
std::vector<std::string> FakeOpener::arguments() const { return {}; }
std::vector<std::string> FakeOpener::velloraArguments() const { return {}; }
std::vector<std::string> FakeOpener::waitForArguments(std::size_t) const { return {}; }

}  // namespace vellora::test
