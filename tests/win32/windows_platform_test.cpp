#include <gtest/gtest.h>

#include "platform/win32/windows_file_system.h"

namespace vellora {
namespace {

TEST(WindowsFileSystem, MissingInputIsNamedByWindowsReason) {
  WindowsFileSystem files;
  const Opened<InputFile> opened = files.openInput("C:\\no\\such\\file.wav");
  EXPECT_FALSE(opened.file);
  EXPECT_FALSE(opened.status.ok());
}

}  // namespace
}  // namespace vellora
