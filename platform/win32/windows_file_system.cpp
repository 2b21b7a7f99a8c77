#include "platform/win32/windows_file_system.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_policy.h"
#include "platform/wildcard.h"
#include "platform/win32/wide.h"

namespace vellora {
namespace {

using win32::failure;
using win32::fullPath;
using win32::systemPath;
using win32::lastFailure;
using win32::toUtf8;
using win32::toWide;
using win32::UniqueHandle;

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

std::optional<std::uint64_t> sizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

// A regular file opened for reading, or for reading and writing in place.
class WindowsInputFile final : public UpdatableFile {
 public:
  WindowsInputFile(UniqueHandle file, std::wstring path, std::uint64_t size)
      : file_(std::move(file)), path_(std::move(path)), size_(size) {}

  Read readAt(std::uint64_t offset, std::span<std::byte> into) override {
    Read r;
    while (r.count < into.size()) {
      OVERLAPPED o = at(offset + r.count);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size() - r.count, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(file_.get(), into.data() + r.count, want, &got, &o)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_HANDLE_EOF) r.status = failure(error);
        break;
      }
      if (got == 0) break;
      r.count += got;
    }
    return r;
  }
  std::uint64_t size() const override { return size_; }
  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override;
  IoStatus flush() override { return ::FlushFileBuffers(file_.get()) ? IoStatus{} : lastFailure(); }
  HANDLE handle() const { return file_.get(); }
  const std::wstring& path() const { return path_; }

 private:
  UniqueHandle file_;
  std::wstring path_;
  std::uint64_t size_;
};

IoStatus writeAll(HANDLE file, const std::byte* data, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    OVERLAPPED o = at(offset);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, want, &written, &o)) return lastFailure();
    data += written;
    count -= written;
    offset += written;
  }
  return {};
}

IoStatus WindowsInputFile::writeAt(std::uint64_t offset, std::span<const std::byte> bytes) {
  return writeAll(file_.get(), bytes.data(), bytes.size(), offset);
}

struct ProgressContext {
  const CopyProgress* progress;
  bool cancelled = false;  // the progress asked to stop, so CopyFileExW failed
};

DWORD CALLBACK copyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* context = static_cast<ProgressContext*>(data);
  const CopyProgress& progress = *context->progress;
  if (!progress || progress(static_cast<std::uint64_t>(done.QuadPart), static_cast<std::uint64_t>(total.QuadPart)))
    return PROGRESS_CONTINUE;
  // CopyFileExW removes its partial copy; the destructor removes the rest.
  context->cancelled = true;
  return PROGRESS_CANCEL;
}

// The copy is made by CopyFileExW into a temporary file beside the target,
// which takes the target's place with MoveFileExW.
class WindowsReplacementFile final : public ReplacementSkeleton {
 public:
  WindowsReplacementFile(UniqueHandle file, std::wstring tempPath, std::wstring targetPath)
      : file_(std::move(file)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)) {}
  ~WindowsReplacementFile() override {
    if (!committed()) discard();
  }

 private:
  std::optional<IoStatus> copyBySystem(InputFile& source, std::uint64_t,
                                       const CopyProgress& progress) override {
    auto* windows = dynamic_cast<WindowsInputFile*>(&source);
    if (!windows) return std::nullopt;
    copiedBy("CopyFileExW");
    // CopyFileExW opens the temporary file itself, so ours closes first; it
    // also copies the read-only attribute, which the patch must not meet.
    file_.reset();
    ProgressContext context{&progress};
    BOOL cancel = FALSE;
    if (!::CopyFileExW(windows->path().c_str(), tempPath_.c_str(), copyProgress, &context, &cancel, 0))
      return context.cancelled ? IoStatus::cancelled() : lastFailure();
    ::SetFileAttributesW(tempPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
    file_ = UniqueHandle(::CreateFileW(tempPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return lastFailure();
    // CopyFileExW copies by name: what it copied must be the opened input as it is now.
    const std::optional<std::uint64_t> copied = sizeOf(file_.get()), now = sizeOf(windows->handle());
    if (!copied || !now) return lastFailure();
    if (*copied != *now) return lengthChangedWhileCopied();
    return IoStatus();
  }

  IoStatus writeBytes(std::uint64_t offset, std::span<const std::byte> bytes) override {
    if (!file_) return IoStatus::failure("the copy is not open");
    return writeAll(file_.get(), bytes.data(), bytes.size(), offset);
  }

  IoStatus putInPlace(Existing existing, bool) override {
    // Always flushed: MoveFileExW's write-through makes the rename itself durable.
    if (file_ && !::FlushFileBuffers(file_.get())) return lastFailure();
    file_.reset();
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (existing == Existing::Replace) flags |= MOVEFILE_REPLACE_EXISTING;
    if (::MoveFileExW(tempPath_.c_str(), targetPath_.c_str(), flags)) return {};
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? targetExistsAlready() : failure(error);
  }

  void discard() override {
    file_.reset();
    ::DeleteFileW(tempPath_.c_str());
  }

  UniqueHandle file_;
  std::wstring tempPath_;
  std::wstring targetPath_;
};

// The directory part of a path, with its separator kept at a root ("C:\").
std::wstring parentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

// A ':' past the drive names an NTFS stream of a file, not a file, and the
// other reserved characters name nothing: such a path is refused, as the
// drive map refuses it on Linux. An extended-length prefix (\\?\) is allowed.
IoStatus checkValid(std::string_view path) {
  if (path.starts_with(R"(\\?\)")) path.remove_prefix(4);
  const std::size_t driveColon = path.size() >= 2 && path[1] == ':' ? 1 : std::string_view::npos;
  constexpr std::string_view kReserved("<>\"|?*\0", 7);
  for (std::size_t i = 0; i < path.size(); ++i)
    if (kReserved.find(path[i]) != std::string_view::npos || (path[i] == ':' && i != driveColon))
      return IoStatus::failure("the path is not valid");
  return {};
}

// What lies at a path. A folder's read-only attribute does not stop
// anyone from writing into it, so a directory is never read-only here.
PathFacts factsAbout(const std::wstring& path) {
  PathFacts facts;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) facts.status = failure(error);
    return facts;
  }
  const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
  facts.kind = directory ? PathFacts::Kind::Directory : PathFacts::Kind::RegularFile;
  facts.readOnly = !directory && (attributes & FILE_ATTRIBUTE_READONLY);
  return facts;
}

// A handle that asks no access: only the file's identity is read, whoever holds it open.
UniqueHandle lookAt(const std::string& path) {
  return UniqueHandle(::CreateFileW(systemPath(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

namespace {

// An existing regular file opened with `access`. Others may go on reading and
// writing it (a change of length while a copy runs is caught afterwards),
// but not rename or delete it: CopyFileExW opens it again by name, which must
// still be this file.
Opened<WindowsInputFile> openExisting(const std::string& path, DWORD access) {
  if (IoStatus valid = checkValid(path); !valid) return {nullptr, valid};
  std::wstring wide = systemPath(path);
  if (access & GENERIC_WRITE) {
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return {nullptr, IoStatus::failure("the file is read-only")};
  }
  UniqueHandle file(::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return {nullptr, lastFailure()};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) return {nullptr, lastFailure()};
  const PathFacts::Kind kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? PathFacts::Kind::Directory
                              : ::GetFileType(file.get()) == FILE_TYPE_DISK    ? PathFacts::Kind::RegularFile
                                                                               : PathFacts::Kind::Other;
  if (IoStatus readable = checkReadable(kind, Reading::Whole); !readable) return {nullptr, readable};
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return {std::make_unique<WindowsInputFile>(std::move(file), std::move(wide), size), {}};
}

}  // namespace

Opened<InputFile> WindowsFileSystem::openInput(const std::string& path) {
  Opened<WindowsInputFile> opened = openExisting(path, GENERIC_READ);
  return {std::move(opened.file), opened.status};
}

Opened<UpdatableFile> WindowsFileSystem::openForUpdate(const std::string& path) {
  Opened<WindowsInputFile> opened = openExisting(path, GENERIC_READ | GENERIC_WRITE);
  return {std::move(opened.file), opened.status};
}

Opened<ReplacementFile> WindowsFileSystem::createReplacement(const std::string& path) {
  if (IoStatus valid = checkValid(path); !valid) return {nullptr, valid};
  const std::wstring target = systemPath(path);
  const std::wstring directory = parentOf(target);
  if (IoStatus place = checkReplacementPlace(factsAbout(target), factsAbout(directory)); !place)
    return {nullptr, place};

  const std::wstring prefix = directory.back() == L'\\' ? directory : directory + L"\\";
  UniqueHandle file;
  std::wstring temp;
  const IoStatus made = createUnderFreshName(std::to_string(::GetCurrentProcessId()), [&](const std::string& name) -> std::optional<IoStatus> {
    temp = prefix + toWide(name);
    // A plain file: CopyFileExW refuses to overwrite a hidden or read-only one.
    file = UniqueHandle(::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return IoStatus();
    if (::GetLastError() == ERROR_FILE_EXISTS) return std::nullopt;
    return lastFailure();
  });
  if (!made) return {nullptr, made};
  return {std::make_unique<WindowsReplacementFile>(std::move(file), std::move(temp), target), {}};
}

bool WindowsFileSystem::exists(const std::string& path) {
  return ::GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WindowsFileSystem::sameFile(const std::string& a, const std::string& b) {
  const UniqueHandle first = lookAt(a), second = lookAt(b);
  return first && second && win32::sameFile(first.get(), second.get());
}

namespace {

// How long the root of a full path is: "C:\\", "\\\\server\\share\\", and
// either behind the extended-length prefix.
std::size_t rootLength(std::wstring_view path) {
  std::size_t prefix = 0;
  if (path.starts_with(LR"(\\?\UNC\)")) prefix = 8;
  else if (path.starts_with(LR"(\\?\)")) prefix = 4;
  else if (path.starts_with(LR"(\\)")) prefix = 2;
  if (prefix == 4 || (prefix == 0 && path.size() >= 2 && path[1] == L':')) return prefix + 3;
  // A share: past the server's name and the share's.
  const std::size_t server = path.find(L'\\', prefix);
  const std::size_t share = server == std::wstring_view::npos ? server : path.find(L'\\', server + 1);
  return share == std::wstring_view::npos ? path.size() : share + 1;
}

// Makes `path` after any missing parent, as mkdir -p does; a directory
// already there is fine, a file in its place is not.
IoStatus makeDirectories(const std::wstring& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return {};
  DWORD error = ::GetLastError();
  if (error == ERROR_PATH_NOT_FOUND) {
    const std::size_t last = path.find_last_of(L'\\');
    // The drive or share itself is never made here.
    if (last == std::wstring::npos || last < rootLength(path)) return failure(error);
    if (IoStatus parent = makeDirectories(path.substr(0, last)); !parent) return parent;
    if (::CreateDirectoryW(path.c_str(), nullptr)) return {};
    error = ::GetLastError();
  }
  if (error != ERROR_ALREADY_EXISTS) return failure(error);
  return factsAbout(path).kind == PathFacts::Kind::Directory ? IoStatus() : IoStatus::failure("Not a directory");
}

}  // namespace

IoStatus WindowsFileSystem::makeDirectory(const std::string& path) {
  if (IoStatus valid = checkValid(path); !valid) return valid;
  std::wstring full = systemPath(path);
  while (full.size() > rootLength(full) && full.back() == L'\\') full.pop_back();
  return makeDirectories(full);
}

IoStatus WindowsFileSystem::listFiles(const std::string& pattern, std::vector<std::string>& names) {
  names.clear();
  const std::size_t last = pattern.find_last_of("\\/");
  std::string directory, wildcard = pattern;
  if (last != std::string::npos) {
    directory = pattern.substr(0, last + 1);
    wildcard = pattern.substr(last + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    directory = pattern.substr(0, 2);
    wildcard = pattern.substr(2);
  }
  // Windows would match "*.wav" against short 8.3 names too ("*.wave" files);
  // the names are matched here instead, as on every platform.
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW(systemPath(directory + "*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? IoStatus() : failure(error);
  }
  DWORD error = ERROR_NO_MORE_FILES;
  do {
    constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (found.dwFileAttributes & kSkipped) continue;
    std::string name = toUtf8(found.cFileName);
    if (wildcardMatch(wildcard, name)) names.push_back(std::move(name));
  } while (::FindNextFileW(search, &found) || (error = ::GetLastError()) != ERROR_NO_MORE_FILES);
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return failure(error);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return caseInsensitiveLess(a, b); });
  return {};
}

std::optional<FileTime> WindowsFileSystem::modificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  // 100 ns ticks since 1601, moved to 1970 so that nanoseconds fit 64 bits.
  constexpr std::int64_t kTicksTo1970 = 116444736000000000;
  const auto ticks = static_cast<std::int64_t>((std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                               data.ftLastWriteTime.dwLowDateTime);
  return (ticks - kTicksTo1970) * 100;
}

std::optional<std::string> WindowsFileSystem::absolutePath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  return toUtf8(fullPath(toWide(path)));
}

std::string WindowsFileSystem::fileText(std::string_view utf8) const {
  return win32::inActiveCodePage(utf8);
}

}  // namespace vellora
