#include "platform/linux/drive_map.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_drive.h"

namespace vellora {
namespace {

class DriveMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.mkdir("work/sub");
    drive.mkdir("data");
    roots[2] = drive.root();              // C:
    roots[3] = drive.host("data") + "/";  // D:, with a trailing slash
    roots[25] = "/";                      // Z:
    oldCwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(drive.host("work").c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(oldCwd.c_str()), 0); }

  std::string host(const std::string& relative) const { return drive.host(relative); }

  test::TempDrive drive;
  DriveMap::Roots roots;
  std::string oldCwd;
};

TEST_F(DriveMapTest, MapsSystemPathsOntoTheirDrive) {
  const DriveMap map(roots);
  struct Case {
    const char* system;
    std::string host;
  };
  const Case cases[] = {
      {"C:\\temp\\vellora\\talk-90.wav", host("temp/vellora/talk-90.wav")},
      {"c:/temp//vellora/./x/../talk.wav", host("temp/vellora/talk.wav")},
      {"C:\\..\\..\\etc\\passwd", host("etc/passwd")},
      {"C:", drive.root()},
      {"C:\\", drive.root()},
      {"c:talk.wav", host("talk.wav")},
      {"D:\\x.wav", host("data/x.wav")},
      {"Z:\\usr\\bin", "/usr/bin"},
      {"Z:\\", "/"},
      {"talk.wav", host("work/talk.wav")},
      {"sub\\..\\..\\..\\x", host("x")},
      {"\\temp\\x.wav", host("temp/x.wav")},
      {"", host("work")},
  };
  for (const Case& c : cases) EXPECT_EQ(map.toHost(c.system), c.host) << c.system;
}

TEST_F(DriveMapTest, RefusesInvalidPathsAndMissingDrives) {
  const DriveMap map(roots);
  const std::string withNul("C:\\a\0b", 6);
  for (const std::string& bad :
       {std::string("C:\\temp\\vellora\\c:talk-90.wav"), std::string("C:\\a<b"),
        std::string("C:\\a>b"), std::string("C:\\a|b"), std::string("C:\\a\"b"),
        std::string("C:\\a?b"), std::string("C:\\*.wav"), std::string("\\\\server\\share\\x"),
        std::string("//server/share"), std::string("1:\\x"), std::string(":x"), withNul}) {
    std::string why;
    EXPECT_FALSE(map.toHost(bad, &why)) << bad;
    EXPECT_EQ(why, bad.starts_with("\\\\") || bad.starts_with("//") ? "network paths are not supported"
                                                                     : "the path is not valid");
  }
  std::string why;
  EXPECT_FALSE(map.toHost("E:\\x", &why));
  EXPECT_EQ(why, "drive E: does not exist");
}

TEST_F(DriveMapTest, TurnsHostPathsIntoSystemPaths) {
  const DriveMap map(roots);
  EXPECT_EQ(map.toSystem(host("temp/talk.wav")), "C:\\temp\\talk.wav");
  EXPECT_EQ(map.toSystem(drive.root()), "C:\\");
  EXPECT_EQ(map.toSystem(host("data/in/x.wav")), "D:\\in\\x.wav") << "the longest root wins";
  EXPECT_EQ(map.toSystem("/usr/share"), "Z:\\usr\\share");
  // A sibling whose name only starts like the root lies outside the drive.
  std::string sibling = drive.root() + "x";
  std::string expected = "Z:" + sibling;
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(map.toSystem(sibling), expected);
  // A relative host path is taken from the current directory, the drive's "work".
  EXPECT_EQ(map.toSystem("relative/path"), "C:\\work\\relative\\path");

  DriveMap::Roots onlyC;
  onlyC[2] = drive.root();
  EXPECT_FALSE(DriveMap(onlyC).toSystem("/usr/share"));
}

// Names Linux allows but system paths reserve travel as full-width look-alikes.
TEST_F(DriveMapTest, CarriesReservedCharactersAsLookAlikes) {
  const DriveMap map(roots);
  struct Case {
    const char* host;
    const char* system;
  };
  const Case cases[] = {
      {"rec 12:30.wav", "rec 12\uFF1A30.wav"},
      {"what?.wav", "what\uFF1F.wav"},
      {"a*b<c>d|e\"f\\g", "a\uFF0Ab\uFF1Cc\uFF1Ed\uFF5Ce\uFF02f\uFF3Cg"},
      // Look-alikes and the escape mark already in a host name are escaped.
      {"12\uFF1A30.wav", "12\u241B\uFF1A30.wav"},
      {":\uFF1A", "\uFF1A\u241B\uFF1A"},
      {"\uFF1A:", "\u241B\uFF1A\uFF1A"},
      {"\u241B:", "\u241B\u241B\uFF1A"},
      {"\u241B\u241B\uFF1F?", "\u241B\u241B\u241B\u241B\u241B\uFF1F\uFF1F"},
      {"plain name.wav", "plain name.wav"},
      // Bytes that are not UTF-8 travel as the mark and two hex digits, and
      // a mark before hex digits in a host name is escaped like any other.
      {"latin\xe9.wav", "latin\u241BE9.wav"},
      {"\xff\xfe", "\u241BFF\u241BFE"},
      {"cut \xc3", "cut \u241BC3"},
      {"over\xc0\xaflong", "over\u241BC0\u241BAFlong"},
      {"\u241BE9", "\u241B\u241BE9"},
      {"gr\xc3\xb6\xc3\x9f" "e \xf0\x9f\x8e\xb5", "gr\xc3\xb6\xc3\x9f" "e \xf0\x9f\x8e\xb5"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> system = map.toSystem(host(std::string("temp/") + c.host));
    ASSERT_TRUE(system) << c.host;
    EXPECT_EQ(*system, std::string("C:\\temp\\") + c.system) << c.host;
    EXPECT_EQ(map.toHost(*system), host(std::string("temp/") + c.host)) << c.host;
    EXPECT_EQ(DriveMap::nameToHost(DriveMap::nameToSystem(c.host)), c.host);
  }
  // A lone escape mark typed into a system path stands for itself.
  EXPECT_EQ(map.toHost("C:\\x\u241By"), host("x\u241By"));
  EXPECT_EQ(map.toHost("C:\\x\u241B41"), host("x\u241B41")) << "a byte UTF-8 holds alone is no escape";
  // The reserved characters themselves stay refused in system paths.
  EXPECT_FALSE(map.toHost("C:\\rec 12:30.wav"));
}

// On Linux a path typed where a system path belongs is a host path when it
// starts with "/" or "~/"; anything else stays a system path.
TEST_F(DriveMapTest, ReadsTypedHostPaths) {
  const DriveMap map(roots);
  ::setenv("HOME", host("work").c_str(), 1);
  EXPECT_EQ(map.typedHostPath(host("temp/talk.wav")), "C:\\temp\\talk.wav");
  EXPECT_EQ(map.typedHostPath("~/talk.wav"), "C:\\work\\talk.wav");
  EXPECT_EQ(map.typedHostPath(host("data/out/")), "D:\\out\\") << "a folder keeps its trailing separator";
  EXPECT_EQ(map.typedHostPath("/usr/share"), "Z:\\usr\\share");
  for (const char* system : {"C:\\temp\\talk.wav", "talk.wav", "\\temp\\x.wav", "~talk.wav", ""})
    EXPECT_FALSE(map.typedHostPath(system)) << system;
  DriveMap::Roots onlyC;
  onlyC[2] = drive.root();
  EXPECT_FALSE(DriveMap(onlyC).typedHostPath("/usr/share")) << "on no drive, it is left for the job to refuse";
}

TEST_F(DriveMapTest, MakesPathsAbsolute) {
  const DriveMap map(roots);
  EXPECT_EQ(map.absolute("out\\talk-90.wav"), "C:\\work\\out\\talk-90.wav");
  EXPECT_EQ(map.absolute("\\temp"), "C:\\temp");
  EXPECT_EQ(map.absolute("d:/a/./b/"), "D:\\a\\b");
  EXPECT_EQ(map.absolute("C:"), "C:\\");
  EXPECT_FALSE(map.absolute("C:\\a:b"));
}

TEST_F(DriveMapTest, ReadsTheDrivesFromTheEnvironment) {
  ::unsetenv("VELLORA_DRIVE_C");
  ::setenv("HOME", host("work").c_str(), 1);
  ::setenv("VELLORA_DRIVE_Q", host("data").c_str(), 1);
  const DriveMap defaults = DriveMap::fromEnvironment();
  EXPECT_EQ(defaults.toHost("C:\\temp\\vellora"), host("work/temp/vellora"));
  EXPECT_EQ(defaults.toHost("q:\\x"), host("data/x"));
  EXPECT_EQ(defaults.toHost("Z:\\etc"), "/etc");
  EXPECT_FALSE(defaults.toHost("D:\\x"));

  ::setenv("VELLORA_DRIVE_C", drive.root().c_str(), 1);
  ::setenv("VELLORA_DRIVE_Z", host("data").c_str(), 1);
  const DriveMap overridden = DriveMap::fromEnvironment();
  EXPECT_EQ(overridden.toHost("C:\\temp"), host("temp"));
  EXPECT_EQ(overridden.toHost("Z:\\etc"), host("data/etc"));
  ::unsetenv("VELLORA_DRIVE_Z");
  ::unsetenv("VELLORA_DRIVE_Q");
}

}  // namespace
}  // namespace vellora
