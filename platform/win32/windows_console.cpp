#include "platform/console.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/win32/wide.h"

namespace vellora {
namespace {

using win32::UniqueHandle;

// At most 1 GiB per call, in ReadFile's and WriteFile's count type.
DWORD callSize(std::size_t count) { return static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30)); }

class HandleStream final : public StreamEnd {
 public:
  // `owned` is empty for a standard handle, which stays open until exit.
  HandleStream(HANDLE handle, UniqueHandle owned, bool closedAtStart)
      : handle_(handle), owned_(std::move(owned)), closedAtStart_(closedAtStart) {
    LARGE_INTEGER size{};
    if (::GetFileType(handle_) == FILE_TYPE_DISK && ::GetFileSizeEx(handle_, &size))
      startLength_ = size.QuadPart;
  }

  ByteSource::Read readSome(std::span<std::byte> into) override {
    if (closedAtStart_) return {0, win32::failure(ERROR_INVALID_HANDLE)};
    DWORD got = 0;
    if (::ReadFile(handle_, into.data(), callSize(into.size()), &got, nullptr)) return {got, {}};
    const DWORD error = ::GetLastError();
    // A pipe whose writer has closed its end has simply ended.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return {0, {}};
    return {0, win32::failure(error)};
  }

  IoStatus writeAll(std::span<const std::byte> bytes) override {
    if (closedAtStart_) return win32::failure(ERROR_INVALID_HANDLE);
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data(), callSize(bytes.size()), &written, nullptr))
        return win32::lastFailure();
      bytes = bytes.subspan(written);
    }
    return {};
  }

  bool isTerminal() const override {
    // NUL is a character device too, but no console.
    DWORD mode = 0;
    return ::GetFileType(handle_) == FILE_TYPE_CHAR && ::GetConsoleMode(handle_, &mode);
  }
  bool wasClosed() const override { return closedAtStart_; }

  std::optional<std::uint64_t> regularFileRest() const override {
    LARGE_INTEGER size{}, at{};
    if (::GetFileType(handle_) != FILE_TYPE_DISK || !::GetFileSizeEx(handle_, &size) ||
        !::SetFilePointerEx(handle_, LARGE_INTEGER{}, &at, FILE_CURRENT))
      return std::nullopt;
    return at.QuadPart < size.QuadPart ? static_cast<std::uint64_t>(size.QuadPart - at.QuadPart) : 0;
  }

  bool sameFileAs(const StreamEnd& other) const override {
    const auto* handle = dynamic_cast<const HandleStream*>(&other);
    return handle && win32::sameFile(handle_, handle->handle_);
  }

  bool undoWrites() override {
    if (!startLength_ || ::GetFileType(handle_) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER length{};
    length.QuadPart = *startLength_;
    return ::SetFilePointerEx(handle_, length, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle_);
  }

 private:
  HANDLE handle_;
  UniqueHandle owned_;
  bool closedAtStart_;
  std::optional<LONGLONG> startLength_;
};

// The standard handle, or NUL in its place when the process has none; the
// flag says which.
std::pair<HANDLE, bool> standardHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) return {handle, false};
  const HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ::SetStdHandle(which, null);
  return {null, true};
}

std::unique_ptr<StreamEnd> standardStream(DWORD which) {
  const auto [handle, closed] = standardHandle(which);
  return std::make_unique<HandleStream>(handle, UniqueHandle(), closed);
}

// The console on the process's standard handles, read and written as bytes
// with ReadFile and WriteFile: no text mode turns "\n" into "\r\n" on the way.
class WindowsConsole final : public Console {
 public:
  WindowsConsole()
      : Console(standardStream(STD_INPUT_HANDLE), standardStream(STD_OUTPUT_HANDLE),
                standardStream(STD_ERROR_HANDLE)) {
    // Messages are UTF-8; a console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
  }
  // Opens by the wide functions, so names in any language and paths of any length work.
  Opened<StreamEnd> openForReading(const std::string& hostPath) override;
  // Windows moves nothing between handles by itself: always nullopt.
  std::optional<StreamMove> moveInSystem(StreamEnd& from, StreamEnd& to,
                                         std::optional<std::uint64_t> limit) override;
  const HostWords& words() const override;
};

Opened<StreamEnd> WindowsConsole::openForReading(const std::string& hostPath) {
  UniqueHandle file(::CreateFileW(win32::systemPath(hostPath).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return {nullptr, win32::lastFailure()};
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(file.get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return {nullptr, IoStatus::failure("it is a directory")};
  const HANDLE raw = file.get();
  return {std::make_unique<HandleStream>(raw, std::move(file), false), {}};
}

std::optional<StreamMove> WindowsConsole::moveInSystem(StreamEnd&, StreamEnd&, std::optional<std::uint64_t>) {
  return std::nullopt;
}

const HostWords& WindowsConsole::words() const {
  static const HostWords words{
      .defaultOutputDirectory = "C:\\temp\\vellora\\",
      .player = "Windows' player for .wav files",
      .noPlayerHint = "no program but Vellora is set to open its type",
      .moreHelp = {},
  };
  return words;
}

}  // namespace

std::unique_ptr<Console> openConsole() { return std::make_unique<WindowsConsole>(); }

}  // namespace vellora
