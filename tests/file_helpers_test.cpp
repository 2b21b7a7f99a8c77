#include "shellfiles/file_helpers.h"

#include <gtest/gtest.h>

#include "support/host_files.h"
#include "support/temp_drive.h"

namespace vellora {
namespace {

class FileHelpersTest : public ::testing::Test {
 protected:
  test::TempDrive drive;
  test::HostFiles files;
};

TEST_F(FileHelpersTest, PutToFileReplacesTheWholeContent) {
  drive.write("page.htm", "a much longer old content that must vanish");
  puttofile(files, "<table>", "C:\\page.htm", 1);
  EXPECT_EQ(drive.read("page.htm"), "<table>");
  puttofile(files, "zero", "C:\\page.htm", 0);
  EXPECT_EQ(drive.read("page.htm"), "zero");
  puttofile(files, "neg", "C:\\page.htm", -7);
  EXPECT_EQ(drive.read("page.htm"), "neg");
  puttofile(files, "", "C:\\page.htm", 1);
  EXPECT_EQ(drive.read("page.htm"), "");
  puttofile(files, "at5", "C:\\new.htm", 5);
  EXPECT_EQ(drive.read("new.htm"), std::string("\0\0\0\0at5", 7));
  // An empty text still leaves the zeros before its position.
  puttofile(files, "", "C:\\page.htm", 4);
  EXPECT_EQ(drive.read("page.htm"), std::string(3, '\0'));
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"new.htm", "page.htm"}));
}

TEST_F(FileHelpersTest, PutToFileLeavesWhatItCannotWrite) {
  puttofile(files, "x", "C:\\missing\\page.htm", 1);
  EXPECT_FALSE(drive.exists("missing"));
  drive.write("locked.htm", "kept");
  drive.makeReadOnly("locked.htm");
  puttofile(files, "x", "C:\\locked.htm", 1);
  EXPECT_EQ(drive.read("locked.htm"), "kept");
  EXPECT_EQ(drive.list(""), (std::vector<std::string>{"locked.htm"}));
}

TEST_F(FileHelpersTest, LoadFromFileReturnsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  drive.write("bytes.bin", all + all);
  EXPECT_EQ(loadfromfile(files, "C:\\bytes.bin"), all + all);
  drive.write("empty.bin", "");
  EXPECT_EQ(loadfromfile(files, "C:\\empty.bin"), "");
  EXPECT_EQ(loadfromfile(files, "C:\\missing.bin"), "");
  drive.mkdir("folder");
  EXPECT_EQ(loadfromfile(files, "C:\\folder"), "");

  puttofile(files, all, "C:\\round.bin", 1);
  EXPECT_EQ(loadfromfile(files, "C:\\round.bin"), all);
}

}  // namespace
}  // namespace vellora
