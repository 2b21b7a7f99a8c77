#include "platform/win32/windows_file_system.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "platform/wildcard.h"
#include "platform/win32/wide.h"

namespace vellora {
namespace {

using win32::failure;
using win32::lastFailure;
using win32::toUtf8;
using win32::toWide;
using win32::UniqueHandle;

const IoStatus kResized = IoStatus::failure("the input changed length while it was being copied");
const IoStatus kShrank = IoStatus::failure("the input got shorter while it was being copied");

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
  std::uint64_t reported = 0;
  bool cancelled = false;  // the progress asked to stop, so CopyFileExW failed
};

// True when there is progress to tell and it asks the copy to stop.
bool stopAsked(const CopyProgress& progress, std::uint64_t done, std::uint64_t total) {
  return progress && !progress(done, total);
}

DWORD CALLBACK copyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* context = static_cast<ProgressContext*>(data);
  context->reported = static_cast<std::uint64_t>(done.QuadPart);
  if (!stopAsked(*context->progress, context->reported, static_cast<std::uint64_t>(total.QuadPart)))
    return PROGRESS_CONTINUE;
  // CopyFileExW removes its partial copy; the destructor removes the rest.
  context->cancelled = true;
  return PROGRESS_CANCEL;
}

class WindowsReplacementFile final : public ReplacementFile {
 public:
  WindowsReplacementFile(UniqueHandle file, std::wstring tempPath, std::wstring targetPath)
      : file_(std::move(file)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)) {}
  ~WindowsReplacementFile() override {
    if (!committed_) {
      file_.reset();
      ::DeleteFileW(tempPath_.c_str());
    }
  }

  IoStatus copyFrom(InputFile& source, const CopyProgress& progress) override {
    const std::uint64_t total = source.size();
    if (stopAsked(progress, 0, total)) return IoStatus::cancelled();
    auto* windows = dynamic_cast<WindowsInputFile*>(&source);
    if (!windows) return bufferedCopy(source, progress);
    // CopyFileExW opens the temporary file itself, so ours closes first; it
    // also copies the read-only attribute, which the patch must not meet.
    file_.reset();
    ProgressContext context{&progress};
    BOOL cancel = FALSE;
    if (!::CopyFileExW(windows->path().c_str(), tempPath_.c_str(), copyProgress, &context, &cancel, 0))
      return context.cancelled ? IoStatus::cancelled() : lastFailure();
    ::SetFileAttributesW(tempPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Not every CopyFileExW calls back (Wine's does not): the end is always told.
    if (context.reported != total && stopAsked(progress, total, total)) return IoStatus::cancelled();
    if (IoStatus reopened = reopen(); !reopened) return reopened;
    const std::optional<std::uint64_t> copied = sizeOf(file_.get());
    const std::optional<std::uint64_t> now = sizeOf(windows->handle());
    if (!copied || !now) return lastFailure();
    if (*copied != total || *now != total) return kResized;
    return {};
  }

  IoStatus writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
    if (!file_) return IoStatus::failure("the copy is not open");
    return writeAll(file_.get(), bytes.data(), bytes.size(), offset);
  }

  IoStatus commit(Existing existing) override {
    if (committed_) return {};
    IoStatus flushed;
    if (file_ && !::FlushFileBuffers(file_.get())) flushed = lastFailure();
    file_.reset();
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (existing == Existing::Replace) flags |= MOVEFILE_REPLACE_EXISTING;
    if (flushed && !::MoveFileExW(tempPath_.c_str(), targetPath_.c_str(), flags)) {
      const DWORD error = ::GetLastError();
      flushed = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                    ? IoStatus::failure("the file exists already")
                    : failure(error);
    }
    if (!flushed) ::DeleteFileW(tempPath_.c_str());
    committed_ = true;  // either in place or removed: nothing left behind
    return flushed;
  }

 private:
  IoStatus reopen() {
    file_ = UniqueHandle(::CreateFileW(tempPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_ ? IoStatus() : lastFailure();
  }

  IoStatus bufferedCopy(InputFile& source, const CopyProgress& progress) {
    const std::uint64_t total = source.size();
    std::vector<std::byte> buffer(std::size_t{1} << 20);
    std::uint64_t done = 0;
    while (done < total) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), total - done));
      ByteSource::Read r = source.readAt(done, std::span(buffer.data(), want));
      if (!r.status) return r.status;
      if (r.count == 0) return kShrank;
      if (IoStatus s = writeAt(done, std::span(buffer.data(), r.count)); !s) return s;
      done += r.count;
      if (stopAsked(progress, done, total)) return IoStatus::cancelled();
    }
    return {};
  }

  UniqueHandle file_;
  std::wstring tempPath_;
  std::wstring targetPath_;
  bool committed_ = false;
};

std::wstring temporaryName() {
  static std::atomic<unsigned> counter{0};
  wchar_t name[64];
  std::swprintf(name, 64, L".vellora-%lx-%x-%llx.tmp", ::GetCurrentProcessId(), counter++,
                static_cast<unsigned long long>(::GetTickCount64()));
  return name;
}

// The directory part of a path, with its separator kept at a root ("C:\").
std::wstring parentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

std::wstring fullPath(const std::wstring& path) {
  const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return path;
  full.resize(written);
  return full;
}

std::wstring systemPath(const std::string& path) { return win32::extendedLength(fullPath(toWide(path))); }

std::optional<BY_HANDLE_FILE_INFORMATION> identity(const std::string& path) {
  // No access asked: only the file's identity is read, whoever holds it open.
  UniqueHandle file(::CreateFileW(systemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return info;
}

}  // namespace

namespace {

// An existing regular file opened with `access`. Others may go on reading and
// writing it (a change of length while a copy runs is caught afterwards),
// but not rename or delete it: CopyFileExW opens it again by name, which must
// still be this file.
Opened<WindowsInputFile> openExisting(const std::string& path, DWORD access) {
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
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    return {nullptr, IoStatus::failure("it is a directory")};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK)
    return {nullptr, IoStatus::failure("it is not a regular file")};
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
  const std::wstring target = systemPath(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {nullptr, IoStatus::failure("it is a directory")};
    if (attributes & FILE_ATTRIBUTE_READONLY) return {nullptr, IoStatus::failure("the file is read-only")};
  }
  const std::wstring directory = parentOf(target);
  const DWORD dir = ::GetFileAttributesW(directory.c_str());
  if (dir == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return {nullptr, error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? IoStatus::failure("its directory does not exist")
                         : failure(error)};
  }
  if (!(dir & FILE_ATTRIBUTE_DIRECTORY))
    return {nullptr, IoStatus::failure("its directory is not a directory")};

  const std::wstring prefix = directory.back() == L'\\' ? directory : directory + L"\\";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring temp = prefix + temporaryName();
    // A plain file: CopyFileExW refuses to overwrite a hidden or read-only one.
    UniqueHandle file(::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && ::GetLastError() == ERROR_FILE_EXISTS) continue;
    if (!file) return {nullptr, lastFailure()};
    return {std::make_unique<WindowsReplacementFile>(std::move(file), std::move(temp), target), {}};
  }
  return {nullptr, IoStatus::failure("could not create a temporary file")};
}

bool WindowsFileSystem::exists(const std::string& path) {
  return ::GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WindowsFileSystem::sameFile(const std::string& a, const std::string& b) {
  const auto ia = identity(a), ib = identity(b);
  return ia && ib && ia->dwVolumeSerialNumber == ib->dwVolumeSerialNumber &&
         ia->nFileIndexHigh == ib->nFileIndexHigh && ia->nFileIndexLow == ib->nFileIndexLow;
}

IoStatus WindowsFileSystem::makeDirectory(const std::string& path) {
  if (!::CreateDirectoryW(systemPath(path).c_str(), nullptr)) return lastFailure();
  return {};
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
