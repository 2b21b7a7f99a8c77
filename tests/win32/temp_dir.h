#pragma once
// A temporary directory for the Windows tests, which run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace vellora::test {

// A fresh directory under the user's temporary directory, removed with its
// files afterwards; paths below it are UTF-8 system paths.
class TempDir {
 public:
  TempDir() {
    wchar_t base[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, base);
    for (unsigned n = ::GetCurrentProcessId();; ++n) {
      root_ = win32::toUtf8(base) + "vellora-test-" + std::to_string(n);
      if (::CreateDirectoryW(win32::toWide(root_).c_str(), nullptr)) break;
    }
  }
  ~TempDir() { removeAll(LR"(\\?\)" + win32::toWide(root_)); }  // the prefix reaches paths of any length
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path(const std::string& name) const { return root_ + "\\" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    win32::UniqueHandle f(::CreateFileW(win32::toWide(path(name)).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  }
  std::string read(const std::string& name) const {
    win32::UniqueHandle f(::CreateFileW(win32::toWide(path(name)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return "<missing>";
    std::string bytes(1 << 20, '\0');
    DWORD got = 0;
    ::ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
  }
  void mkdir(const std::string& name) const {
    ASSERT_TRUE(::CreateDirectoryW(win32::toWide(path(name)).c_str(), nullptr));
  }
  // Every name in the directory or one below it, hidden ones included, sorted.
  std::vector<std::string> list(const std::string& below = "") const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileW(win32::toWide(path(below.empty() ? "*" : below + "\\*")).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(win32::toUtf8(name));
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
  }
  const std::string& root() const { return root_; }

 private:
  static void removeAll(const std::wstring& dir) {
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = dir + L"\\" + name;
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          removeAll(full);
        else
          ::DeleteFileW(full.c_str());
      } while (::FindNextFileW(h, &found));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  std::string root_;
};

}  // namespace vellora::test
