#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "shellfiles/io_status.h"

namespace vellora::win32 {

// The core speaks UTF-8; Windows' wide functions speak UTF-16. Every string
// crosses here, so names in any language survive the trip.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);
// UTF-16 in an 8-bit code page (CP_ACP for the few functions without a wide form).
std::string narrow(std::wstring_view utf16, UINT codePage);
// UTF-8 text in the active code page, as Windows programs read text files; a
// character the code page lacks becomes "?", never a look-alike.
std::string inActiveCodePage(std::string_view utf8);

// A full path in the form Win32 takes at any length: from MAX_PATH less the
// room CreateDirectoryW keeps for an 8.3 name on, it needs the \\?\ prefix
// (\\?\UNC\ for a network path). Shorter paths stay as they are.
std::wstring extendedLength(std::wstring fullPath);
// The path made absolute against the current directory; as it was when that fails.
std::wstring fullPath(const std::wstring& path);
// A UTF-8 path as the wide functions take it at any length: full, and extended where long.
std::wstring systemPath(std::string_view utf8);

// Windows' own words for an error code, without the trailing full stop.
std::string reasonFor(DWORD error);
IoStatus failure(DWORD error);
inline IoStatus lastFailure() { return failure(::GetLastError()); }

// True when both handles are open on one file on disk: the same volume and
// file ID, whatever the names they were opened by.
bool sameFile(HANDLE a, HANDLE b);

// Owns one kernel handle and closes it exactly once.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (h_) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace vellora::win32
