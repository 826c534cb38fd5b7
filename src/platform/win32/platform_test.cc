// What only the Windows build has: Win32 errors the portable layer never sees, the version
// resource and the manifest, process start, and the system's time zone.
#include <gtest/gtest.h>
#include <windows.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/win32/automation.h"
#include "platform/win32/clock.h"
#include "platform/win32/code_page.h"
#include "platform/win32/error.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "testing/temp_folder.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

TEST(WinFileSystemTest, FailuresCarryTheRunTimeErrorOfTheirWin32Code) {
  TempFolder folder;
  WinFileSystem fs;
  std::unique_ptr<TextStream> stream;
  std::string bytes;
  EXPECT_EQ(fs.createTextFile(folder.path() + "\\a<b.txt", true, &stream).number, kErrBadFileName);
  EXPECT_EQ(fs.readFile(folder.path() + "\\none\\x.txt", &bytes, 10).number, kErrFileNotFound);
  EXPECT_EQ(fs.createTextFile(folder.path(), true, &stream).number, kErrPathFileAccess);
}

// A reader that shares reads and writes but not deletion (the agent reading a report, a
// scanner): replacing the file it holds fails until it lets go.
HANDLE openAsReader(const std::string& path, DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE) {
  return CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(WinFileSystemTest, AReplaceHeldUpByAReaderIsTriedAgainAndNeverLosesTheDestination) {
  const struct {
    const char* name;
    bool copy;
    int pausesHeld;  // pauses before the reader lets go; kReplaceAttempts: never
  } kCases[] = {
      {"rename, reader lets go", false, 1},
      {"copy, reader lets go", true, 3},
      {"rename, reader stays", false, WinFileSystem::kReplaceAttempts},
      {"copy, reader stays", true, WinFileSystem::kReplaceAttempts},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.write("new.xml", "new");
    folder.write("report.xml", "old");
    const std::string destination = folder.path() + "\\report.xml";
    HANDLE reader = openAsReader(destination);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    int pauses = 0;
    WinFileSystem fs([&] {
      if (++pauses == c.pausesHeld) CloseHandle(reader);
    });
    const std::string source = folder.path() + "\\new.xml";
    Status s = c.copy ? fs.copyFile(source, destination, true) : fs.renameFile(source, destination);
    bool released = c.pausesHeld < WinFileSystem::kReplaceAttempts;
    if (released) {
      EXPECT_TRUE(s.ok()) << s.description;
      EXPECT_EQ(pauses, c.pausesHeld);
      EXPECT_EQ(folder.read("report.xml"), "new");
    } else {
      CloseHandle(reader);
      EXPECT_EQ(s.number, kErrPermissionDenied) << s.description;
      EXPECT_EQ(pauses, WinFileSystem::kReplaceAttempts - 1);
      EXPECT_EQ(folder.read("report.xml"), "old");
    }
    // Nothing written aside is left behind.
    std::vector<std::string> names;
    ASSERT_TRUE(fs.listFiles(folder.path(), &names).ok());
    EXPECT_EQ(names.size(), c.copy ? 2u : (released ? 1u : 2u));
  }
}

TEST(WinFileSystemTest, OnlyAnotherRunHoldsTheRunLock) {
  TempFolder folder;
  const std::string path = folder.path() + "\\sccevtmon.lock";
  folder.write("sccevtmon.lock", "");
  WinFileSystem fs;
  // A scanner or a backup that has the file open, before and during the run.
  HANDLE scanner = openAsReader(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
  std::unique_ptr<FileHold> lock, again;
  Status s = fs.tryLock(path, &lock);
  ASSERT_TRUE(s.ok()) << s.description;
  HANDLE backup = openAsReader(path);
  EXPECT_NE(backup, INVALID_HANDLE_VALUE);
  s = fs.tryLock(path, &again);
  EXPECT_EQ(s.number, kErrPermissionDenied);
  EXPECT_EQ(s.description, "another run holds it");
  lock.reset();
  EXPECT_TRUE(fs.tryLock(path, &again).ok());
  CloseHandle(scanner);
  if (backup != INVALID_HANDLE_VALUE) CloseHandle(backup);
}

TEST(WinErrorTest, SystemTextsHaveTheirInsertsFilledOrRemoved) {
  const struct {
    const char* text;
    std::vector<std::string> inserts;
    const char* filled;
  } kCases[] = {
      {"%1 is not a valid Win32 application.\r\n",
       {"QGnMD5"},
       "QGnMD5 is not a valid Win32 application.\r\n"},
      {"%1 is not a valid Win32 application.\r\n", {}, "is not a valid Win32 application.\r\n"},
      {"Bad EXE format for %1.", {}, "Bad EXE format for."},
      {"The file %1 is used by %2.", {"a"}, "The file a is used by."},
      {"Value %1!d! of %2!s!", {"7", "8"}, "Value 7 of 8"},
      {"%12 and %0 and 100%", {}, "and %0 and 100%"},
  };
  for (const auto& c : kCases) EXPECT_EQ(fillInserts(c.text, c.inserts), c.filled) << c.text;
  EXPECT_EQ(win32Message(ERROR_BAD_EXE_FORMAT).find('%'), std::string::npos);
  EXPECT_NE(win32Message(ERROR_BAD_EXE_FORMAT, {"QGnMD5"}).find("QGnMD5"), std::string::npos);
}

TEST(WinFileSystemTest, NativePathsLoseDoubledAndTrailingSeparators) {
  WinFileSystem fs;
  EXPECT_EQ(fs.nativePath("C:\\TORVEN\\\\qSCC\\"), "C:\\TORVEN\\qSCC");
  EXPECT_EQ(fs.nativePath("C:\\"), "C:\\");
  EXPECT_EQ(fs.nativePath("\\\\server\\share\\"), "\\\\server\\share");
}

// The program's text, the *A functions and COM's strings use one code page: a message
// converted for the report file is the message the component receives and posts.
TEST(WinCodePageTest, TheProgramConvertsAsTheSystemAndComDo) {
  useSystemCodePage();
  EXPECT_EQ(codePageNumber(), static_cast<int>(GetACP()));
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::wstring wide = ansiToWide(byte);
    ASSERT_EQ(wide.size(), 1u) << b;
    EXPECT_EQ(static_cast<char32_t>(wide[0]), ansiToUnicode(static_cast<unsigned char>(b))) << b;
  }
  // Cyrillic, Greek and Western letters: each build of the message is the same bytes.
  const std::string message =
      "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82 \xCE\x91\xCE\xBB \xC3\xA9\xC3\x9F \xE2\x82\xAC";
  const std::string ansi = utf8ToAnsi(message);
  std::wstring posted = ansiToWide(ansi);
  EXPECT_EQ(utf16leToUtf8(std::string(reinterpret_cast<const char*>(posted.data()),
                                      posted.size() * sizeof(wchar_t))),
            ansiToUtf8(ansi));
  useCodePage(windows1252());
}

TEST(WinProcessTest, KnowsItsNameAndTheVersionOfItsResource) {
  WinProcess process;
  EXPECT_EQ(process.executableBaseName(), "sccevtmon_tests");
  std::string version;
  ASSERT_TRUE(process.ownFileVersion(&version).ok());
  EXPECT_EQ(version, SCCEVTMON_VERSION);
}

TEST(WinProcessTest, HelpDescribesTheWindowsProgram) {
  WinProcess process;
  const std::string help = process.helpIntroduction() + process.helpConfiguration();
  EXPECT_NE(help.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVEN"), std::string::npos) << help;
  EXPECT_NE(help.find("ApplicationLog\\qSCCLog"), std::string::npos) << help;
  // The Windows program reads no environment variable.
  for (const char* word : {"/etc", "registry file", "SCCEVTMON_", "Environment", "qSCCLog/"}) {
    EXPECT_EQ(help.find(word), std::string::npos) << word;
  }
}

TEST(WinProcessTest, DeclaresItRunsAsItsInvokerWithoutVirtualisation) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  HGLOBAL loaded = LoadResource(nullptr, found);
  std::string manifest(static_cast<const char*>(LockResource(loaded)),
                       SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
      << manifest;
}

TEST(WinProcessTest, StartsAProgramWithoutWaitingOrFailsWithFileNotFound) {
  WinProcess process;
  EXPECT_TRUE(process.startProcess("cmd.exe /c exit 0").ok());
  EXPECT_EQ(process.startProcess("sccevtmon-no-such-program.exe -s x.dll").number,
            kErrFileNotFound);
}

TEST(WinClockTest, EventTimesAndTheClockShareTheSystemsTimeZone) {
  WinClock clock;
  long long before = civilSeconds(clock.now());
  long long event = utcToLocalCivil(static_cast<long long>(std::time(nullptr)));
  long long after = civilSeconds(clock.now());
  EXPECT_GE(event, before - 1);
  EXPECT_LE(event, after + 1);
}

}  // namespace
}  // namespace sccevtmon
