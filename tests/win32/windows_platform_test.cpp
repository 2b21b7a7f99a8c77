// The Windows platform layer on real files, run under Wine in CI.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/program_directory.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_file_system.h"
#include "platform/win32/windows_module1.h"
#include "platform/win32/windows_paths.h"
#include "win32/temp_dir.h"
#include "shellfiles/file_helpers.h"
#include "speed/conversion.h"
#include "support/fakes.h"
#include "support/wav_builder.h"

namespace vellora {
namespace {

using test::TempDir;
using win32::toWide;


void setReadOnly(const std::string& path) {
  ASSERT_TRUE(::SetFileAttributesW(toWide(path).c_str(), FILE_ATTRIBUTE_READONLY));
}

const std::string kInput = test::canonicalWav(44100, 2, 16, 3000);
const std::string kAt90 = test::withRates(kInput, 21, 39690, 158760);

struct Converting : ::testing::Test {
  TempDir dir;
  WindowsFileSystem files;
  Conversion run(const std::string& in, const std::string& out,
                 ReplacementFile::Existing existing = ReplacementFile::Existing::Replace) {
    return convert(files, {.input = dir.path(in), .output = dir.path(out), .factor = 0.9,
                           .existing = existing, .progress = {}});
  }
};

TEST_F(Converting, CopiesAndPatchesLeavingTheInputAndNothingElse) {
  dir.write("talk.wav", kInput);
  const Conversion done = run("talk.wav", "talk-90.wav");
  ASSERT_TRUE(done.ok()) << message(done.error);
  EXPECT_EQ(dir.read("talk-90.wav"), kAt90);
  EXPECT_EQ(dir.read("talk.wav"), kInput);
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"talk-90.wav", "talk.wav"}));
}

TEST_F(Converting, NamesInAnyLanguageSurvive) {
  const std::string name = "Grüße Пример 語";
  dir.write(name + ".wav", kInput);
  ASSERT_TRUE(run(name + ".wav", name + "-90.wav").ok());
  EXPECT_EQ(dir.read(name + "-90.wav"), kAt90);
}

TEST_F(Converting, ReplacesAnOlderCopyAndReportsProgress) {
  dir.write("talk.wav", kInput);
  dir.write("talk-90.wav", "old");
  std::uint64_t last = 0, total = 0;
  const Conversion done = convert(files, {.input = dir.path("talk.wav"),
                                          .output = dir.path("talk-90.wav"),
                                          .factor = 0.9,
                                          .existing = ReplacementFile::Existing::Replace,
                                          .progress = [&](std::uint64_t d, std::uint64_t t) {
                                            last = d;
                                            total = t;
                                            return true;
                                          }});
  ASSERT_TRUE(done.ok()) << message(done.error);
  EXPECT_EQ(dir.read("talk-90.wav"), kAt90);
  EXPECT_EQ(last, kInput.size());
  EXPECT_EQ(total, kInput.size());
}

// Stopped at its start or at its end, a copy leaves the old output and nothing else.
TEST_F(Converting, ACancelledCopyLeavesNothing) {
  dir.write("talk.wav", kInput);
  dir.write("talk-90.wav", "old");
  for (bool atStart : {true, false}) {
    const Conversion done = convert(files, {.input = dir.path("talk.wav"),
                                            .output = dir.path("talk-90.wav"),
                                            .factor = 0.9,
                                            .existing = ReplacementFile::Existing::Replace,
                                            .progress = [&](std::uint64_t d, std::uint64_t t) {
                                              return atStart ? false : d < t;
                                            }});
    EXPECT_EQ(done.error.failure, JobFailure::Cancelled) << message(done.error);
    EXPECT_EQ(dir.read("talk-90.wav"), "old");
    EXPECT_EQ(dir.read("talk.wav"), kInput);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"talk-90.wav", "talk.wav"}));
  }
}

TEST_F(Converting, AReadOnlyInputGivesAWritableCopy) {
  dir.write("talk.wav", kInput);
  setReadOnly(dir.path("talk.wav"));
  ASSERT_TRUE(run("talk.wav", "talk-90.wav").ok());
  EXPECT_EQ(dir.read("talk-90.wav"), kAt90);
  EXPECT_FALSE(::GetFileAttributesW(toWide(dir.path("talk-90.wav")).c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(Converting, FailuresNameTheFileWithWindowsReasonAndLeaveNothing) {
  Conversion done = run("missing.wav", "missing-90.wav");
  EXPECT_EQ(done.error.failure, JobFailure::InputUnreadable);
  EXPECT_EQ(done.error.path, dir.path("missing.wav"));
  EXPECT_EQ(done.error.reason, win32::reasonFor(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(dir.list().empty());

  dir.write("talk.wav", kInput);
  dir.write("talk-90.wav", "kept");
  setReadOnly(dir.path("talk-90.wav"));
  done = run("talk.wav", "talk-90.wav");
  EXPECT_EQ(done.error.failure, JobFailure::OutputUnwritable);
  EXPECT_EQ(done.error.reason, "the file is read-only");
  EXPECT_EQ(dir.read("talk-90.wav"), "kept");

  done = run("talk.wav", "no such dir\\talk-90.wav");
  EXPECT_EQ(done.error.reason, "its directory does not exist");

  dir.write("noise.wav", "RIFF\x04\0\0\0WAVE");
  done = run("noise.wav", "noise-90.wav");
  EXPECT_EQ(done.error.failure, JobFailure::NoFormatChunk);
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"noise.wav", "talk-90.wav", "talk.wav"}));
}

TEST_F(Converting, KeepingRefusesATargetThatAppearedAndRemovesTheCopy) {
  dir.write("talk.wav", kInput);
  Opened<ReplacementFile> out = files.createReplacement(dir.path("talk-90.wav"));
  ASSERT_TRUE(out.file) << out.status.reason();
  Opened<InputFile> in = files.openInput(dir.path("talk.wav"));
  ASSERT_TRUE(in.file);
  ASSERT_TRUE(out.file->copyFrom(*in.file, {}).ok());
  dir.write("talk-90.wav", "theirs");
  const IoStatus committed = out.file->commit(ReplacementFile::Existing::Keep);
  EXPECT_EQ(committed.reason(), "the file exists already");
  in.file.reset();
  out.file.reset();
  EXPECT_EQ(dir.read("talk-90.wav"), "theirs");
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"talk-90.wav", "talk.wav"}));
}

TEST(WindowsPaths, LongOnesTakeTheExtendedLengthPrefix) {
  const std::wstring name(250, L'n');
  EXPECT_EQ(win32::extendedLength(LR"(C:\temp\talk.wav)"), LR"(C:\temp\talk.wav)");
  EXPECT_EQ(win32::extendedLength(LR"(C:\)" + name), LR"(\\?\C:\)" + name);
  EXPECT_EQ(win32::extendedLength(LR"(\\server\share\)" + name), LR"(\\?\UNC\server\share\)" + name);
  EXPECT_EQ(win32::extendedLength(LR"(\\?\C:\)" + name), LR"(\\?\C:\)" + name);
}

// Wine takes long paths without the prefix; on Windows this needs it.
TEST_F(Converting, PathsLongerThanMaxPathWork) {
  std::string deep = dir.root();
  for (int level = 0; deep.size() < 400; ++level) {
    deep += "\\" + std::string(60, char('a' + level));
    ASSERT_TRUE(files.makeDirectory(deep).ok()) << deep.size();
  }
  const std::string input = deep + "\\talk.wav", output = deep + "\\talk-90.wav";
  {
    Opened<ReplacementFile> written = files.createReplacement(input);
    ASSERT_TRUE(written.file) << written.status.reason();
    ASSERT_TRUE(written.file->writeAt(0, std::as_bytes(std::span(kInput))).ok());
    ASSERT_TRUE(written.file->commit().ok());
  }
  const Conversion done = convert(files, {.input = input, .output = output, .factor = 0.9,
                                          .existing = {}, .progress = {}});
  ASSERT_TRUE(done.ok()) << done.error.reason;
  Opened<InputFile> copy = files.openInput(output);
  ASSERT_TRUE(copy.file) << copy.status.reason();
  std::string bytes(kAt90.size() + 1, '\0');
  const auto read = copy.file->readAt(0, std::as_writable_bytes(std::span(bytes)));
  bytes.resize(read.count);
  EXPECT_EQ(bytes, kAt90);
  EXPECT_TRUE(files.exists(output));
  EXPECT_TRUE(files.modificationTime(output).has_value());
  std::vector<std::string> names;
  ASSERT_TRUE(files.listFiles(deep + "\\*.wav", names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"talk-90.wav", "talk.wav"}));
}

TEST_F(Converting, AnUncommittedCopyLeavesNothing) {
  dir.write("talk.wav", kInput);
  {
    Opened<ReplacementFile> out = files.createReplacement(dir.path("talk-90.wav"));
    ASSERT_TRUE(out.file);
    Opened<InputFile> in = files.openInput(dir.path("talk.wav"));
    ASSERT_TRUE(out.file->copyFrom(*in.file, {}).ok());
  }
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"talk.wav"}));
}

TEST_F(Converting, TheCopyIsOfTheOpenedInputNeverOfAFileMovedInItsPlace) {
  dir.write("talk.wav", kInput);
  Opened<InputFile> in = files.openInput(dir.path("talk.wav"));
  ASSERT_TRUE(in.file);
  Opened<ReplacementFile> out = files.createReplacement(dir.path("talk-90.wav"));
  ASSERT_TRUE(out.file);
  const std::string impostor(kInput.size(), 'x');
  if (::MoveFileW(toWide(dir.path("talk.wav")).c_str(), toWide(dir.path("moved.wav")).c_str()))
    dir.write("talk.wav", impostor);
  const IoStatus copied = out.file->copyFrom(*in.file, {});
  if (copied.ok()) {
    ASSERT_TRUE(out.file->commit().ok());
    EXPECT_EQ(dir.read("talk-90.wav"), kInput);
  }
}

// Excel and Notepad read text files in the active code page: the header log
// and the archive page are written in it, a character it lacks as "?".
TEST_F(Converting, TextFilesAreInTheActiveCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the expected bytes are those of code page 1252";
  puttofile(files, "Gr\u00FC\u00DFe \u8A9E \u20AC", dir.path("index.htm"), 1);
  EXPECT_EQ(dir.read("index.htm"), "Gr\xFC\xDF" "e ? \x80");

  const std::string name = "Gr\u00FC\u00DFe \u8A9E";
  dir.write(name + ".wav", kInput);
  test::ScriptedWindow window;
  test::RecordingModule1 system;
  ShellOpener shell(system, "C:\\");
  SpeedJob job(files, shell, window, window);
  ::CreateDirectoryW(L"C:\\temp", nullptr);
  ::CreateDirectoryW(L"C:\\temp\\vellora", nullptr);
  job.checkfile(dir.path(name + ".wav"), dir.path(""));
  ASSERT_EQ(system.shellCalls.size(), 1U) << (window.messages.empty() ? "" : window.messages[0]);
  const std::string inCodePage = "Gr\xFC\xDF" "e ?";
  const std::string firstLine = std::to_string(kInput.size() - 8) + " " + dir.path(inCodePage + ".wav") +
                                " --> " + dir.path(inCodePage + "-90.wav") + "\r\n";
  std::ifstream in("C:\\temp\\vellora\\info.xls", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.substr(0, firstLine.size()), firstLine);
}

TEST(WindowsFiles, ListingMatchesNamesItselfSkipsDirectoriesAndHiddenFilesAndSorts) {
  TempDir dir;
  WindowsFileSystem files;
  for (const char* name : {"b.WAV", "a.wav", "c.wave", "notes.txt", "Ä.wav"}) dir.write(name, "x");
  dir.write("hidden.wav", "x");
  ::SetFileAttributesW(toWide(dir.path("hidden.wav")).c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(files.makeDirectory(dir.path("folder.wav")).ok());
  std::vector<std::string> names;
  ASSERT_TRUE(files.listFiles(dir.path("*.wav"), names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "b.WAV", "Ä.wav"}));
  EXPECT_TRUE(files.listFiles(dir.path("none\\*.wav"), names).reason().size() > 0);
}

TEST(WindowsFiles, TimesOrderByLastWrite) {
  TempDir dir;
  WindowsFileSystem files;
  dir.write("old.wav", "x");
  dir.write("new.wav", "x");
  for (const auto& [name, day] : {std::pair{"old.wav", 1}, std::pair{"new.wav", 2}}) {
    win32::UniqueHandle f(::CreateFileW(toWide(dir.path(name)).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    SYSTEMTIME st{2024, 3, 0, static_cast<WORD>(day), 12, 0, 0, 0};
    FILETIME ft{};
    ::SystemTimeToFileTime(&st, &ft);
    ASSERT_TRUE(::SetFileTime(f.get(), nullptr, nullptr, &ft));
  }
  const auto older = files.modificationTime(dir.path("old.wav"));
  const auto newer = files.modificationTime(dir.path("new.wav"));
  ASSERT_TRUE(older && newer);
  EXPECT_EQ(*newer - *older, std::int64_t{86400} * 1'000'000'000);
  EXPECT_FALSE(files.modificationTime(dir.path("gone.wav")));
}

TEST(WindowsFiles, SameFileSeesThroughSpellings) {
  TempDir dir;
  WindowsFileSystem files;
  dir.write("talk.wav", "x");
  dir.write("other.wav", "x");
  std::string slashed = dir.path("TALK.WAV");
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  EXPECT_TRUE(files.sameFile(dir.path("talk.wav"), slashed));
  EXPECT_FALSE(files.sameFile(dir.path("talk.wav"), dir.path("other.wav")));
  EXPECT_TRUE(files.exists(slashed));
  EXPECT_FALSE(files.exists(dir.path("gone.wav")));
  EXPECT_EQ(files.absolutePath(dir.path("sub\\..\\talk.wav")), dir.path("talk.wav"));
}

TEST(WindowsPlatform, ProgramDirectoryHoldsTheRunningProgram) {
  const std::optional<std::string> directory = programDirectory(WindowsPaths());
  ASSERT_TRUE(directory);
  EXPECT_NE(directory->back(), '\\');
  EXPECT_NE(::GetFileAttributesW(toWide(*directory + "\\windows_platform_test.exe").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(WindowsPlatform, MediaControlAnswersWithItsOwnCodes) {
  WindowsModule1 system;
  char reply[8];
  std::memset(reply, 'x', sizeof reply);
  EXPECT_EQ(system.mciSendStringA("bogus thisaudio", reply, sizeof reply, 0), 261);
  EXPECT_EQ(reply[0], '\0');
  // Not open: Windows and Wine differ in which code says so.
  EXPECT_NE(system.mciSendStringA("status thisaudio position", reply, sizeof reply, 0), 0);
  EXPECT_EQ(reply[0], '\0');
}

TEST(WindowsPlatform, ShellReportsAMissingFile) {
  WindowsModule1 system;
  EXPECT_LE(system.ShellExecuteA(0, "open", "C:\\no\\such\\file.wav", "", "", 0), 32);
}

// With Vellora the default program for a type, a file of it goes to the next
// program registered for the type, or, with none, to no program at all.
TEST(WindowsPlatform, ShellPassesOverVelloraToTheNextProgramOfTheType) {
  test::TempDir dir;
  dir.write("take.vlrtest", "RIFF");
  const std::wstring played = toWide(dir.path("played.wav"));
  const auto set = [](const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  set(L"VelloraTest.Own\\shell\\open\\command", nullptr, L"\"C:\\Program Files\\Vellora\\bin\\vellora.exe\" \"%1\"");
  set(L".vlrtest", nullptr, L"VelloraTest.Own");
  WindowsModule1 system;
  EXPECT_LE(system.ShellExecuteA(0, "open", dir.path("take.vlrtest"), "", "", 0), 32);

  set(L"VelloraTest.Player\\shell\\open\\command", nullptr, L"cmd.exe /c copy \"%1\" \"" + played + L"\"");
  set(L".vlrtest\\OpenWithProgids", L"VelloraTest.Player", L"");
  EXPECT_GT(system.ShellExecuteA(0, "open", dir.path("take.vlrtest"), "", "", 0), 32);
  for (int i = 0; i < 100 && ::GetFileAttributesW(played.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);
  EXPECT_EQ(dir.read("played.wav"), "RIFF");
  for (const wchar_t* key : {L".vlrtest", L"VelloraTest.Own", L"VelloraTest.Player"})
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
}

}  // namespace
}  // namespace vellora
