// What only the Windows build has: Win32 errors the portable layer never sees, the version
// resource and the manifest, process start, and the system's time zone.
#include <gtest/gtest.h>
#include <windows.h>

#include <ctime>
#include <string>

#include "platform/win32/clock.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "testing/temp_folder.h"

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

TEST(WinFileSystemTest, NativePathsLoseDoubledAndTrailingSeparators) {
  WinFileSystem fs;
  EXPECT_EQ(fs.nativePath("C:\\TORVEN\\\\qSCC\\"), "C:\\TORVEN\\qSCC");
  EXPECT_EQ(fs.nativePath("C:\\"), "C:\\");
  EXPECT_EQ(fs.nativePath("\\\\server\\share\\"), "\\\\server\\share");
}

TEST(WinProcessTest, KnowsItsNameAndTheVersionOfItsResource) {
  WinProcess process;
  EXPECT_EQ(process.executableBaseName(), "sccevtmon_tests");
  std::string version;
  ASSERT_TRUE(process.ownFileVersion(&version).ok());
  EXPECT_EQ(version, SCCEVTMON_VERSION);
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
