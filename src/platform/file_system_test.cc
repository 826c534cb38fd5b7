// The file-system object of this build (the posix stand-in, or the Win32 functions) on a real
// temporary folder, with paths as the monitor builds them.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/native_fixture.h"
#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::unique_ptr<FileSystem> files = makeFileSystem();
  FileSystem& fs = *files;
  std::string win(const std::string& rest) { return folder.path() + "\\" + rest; }
};

TEST_F(FileSystemTest, FoldersAndFiles) {
  EXPECT_TRUE(fs.folderExists(folder.path() + "\\"));
  EXPECT_TRUE(fs.createFolder(win("ApplicationLog")).ok());
  EXPECT_TRUE(fs.folderExists(win("ApplicationLog")));
  EXPECT_EQ(fs.createFolder(win("ApplicationLog")).number, kErrFileExists);
  EXPECT_EQ(fs.createFolder(win("no\\such")).number, kErrPathNotFound);
  EXPECT_FALSE(fs.fileExists(win("ApplicationLog")));

  std::unique_ptr<TextStream> s;
  ASSERT_TRUE(fs.createTextFile(win("ApplicationLog\\\\log.txt"), true, &s).ok());
  ASSERT_TRUE(s->writeLine("one").ok());
  ASSERT_TRUE(s->write("two").ok());
  ASSERT_TRUE(s->close().ok());
  EXPECT_EQ(folder.read("ApplicationLog/log.txt"), "one\r\ntwo");

  ASSERT_TRUE(fs.openTextFileForAppending(win("ApplicationLog\\log.txt"), &s).ok());
  ASSERT_TRUE(s->writeLine("three").ok());
  s.reset();
  EXPECT_EQ(folder.read("ApplicationLog/log.txt"), "one\r\ntwothree\r\n");
  std::uint64_t size = 0;
  ASSERT_TRUE(fs.fileSize(win("ApplicationLog\\log.txt"), &size).ok());
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(fs.fileSize(win("nothing"), &size).number, kErrFileNotFound);

  EXPECT_EQ(fs.createTextFile(win("ApplicationLog\\log.txt"), false, &s).number, kErrFileExists);
  EXPECT_EQ(fs.createTextFile(win("missing\\x.txt"), true, &s).number, kErrPathNotFound);
}

TEST_F(FileSystemTest, CopyAndDelete) {
  folder.write("a.xml", "data");
  folder.write("post/b.xml", "old");
  EXPECT_TRUE(fs.copyFile(win("a.xml"), win("post\\b.xml"), true).ok());
  EXPECT_EQ(folder.read("post/b.xml"), "data");
  EXPECT_EQ(fs.copyFile(win("a.xml"), win("post\\b.xml"), false).number, kErrFileExists);
  EXPECT_EQ(fs.copyFile(win("a.xml"), win("nofolder\\b.xml"), true).number, kErrPathNotFound);
  EXPECT_EQ(fs.copyFile(win("none.xml"), win("post\\c.xml"), true).number, kErrFileNotFound);

  setReadOnly(folder.file("post/b.xml"), true);
  EXPECT_EQ(fs.deleteFile(win("post\\b.xml"), false).number, kErrPermissionDenied);
  EXPECT_TRUE(fs.deleteFile(win("post\\b.xml"), true).ok());
  EXPECT_FALSE(folder.exists("post/b.xml"));
  EXPECT_EQ(fs.deleteFile(win("post\\b.xml"), true).number, kErrFileNotFound);

  // A copy leaves no temporary file behind, whether it worked or not.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(folder.file("post"))) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 0);
}

TEST_F(FileSystemTest, ReadOnlyFilesCannotBeRewritten) {
  if (runningUnderWine()) GTEST_SKIP() << "wine running as root overwrites read-only files";
  folder.write("a.xml", "data");
  folder.write("ro.txt", "x");
  setReadOnly(folder.file("ro.txt"), true);
  std::unique_ptr<TextStream> s;
  EXPECT_EQ(fs.createTextFile(win("ro.txt"), true, &s).number, kErrPermissionDenied);
  EXPECT_EQ(fs.openTextFileForAppending(win("ro.txt"), &s).number, kErrPermissionDenied);
  EXPECT_EQ(fs.copyFile(win("a.xml"), win("ro.txt"), true).number, kErrPermissionDenied);
  EXPECT_EQ(folder.read("ro.txt"), "x");
  setReadOnly(folder.file("ro.txt"), false);
}

TEST_F(FileSystemTest, AskingWhetherAPathIsWritableWritesNothing) {
  folder.write("ro.txt", "x");
  folder.write("rw.txt", "x");
  setReadOnly(folder.file("ro.txt"), true);
  EXPECT_FALSE(fs.isWritable(win("ro.txt")));
  EXPECT_TRUE(fs.isWritable(win("rw.txt")));
  EXPECT_TRUE(fs.isWritable(folder.path() + "\\"));
  EXPECT_FALSE(fs.isWritable(win("none")));
  EXPECT_EQ(folder.read("ro.txt"), "x");
  setReadOnly(folder.file("ro.txt"), false);
}

}  // namespace
}  // namespace sccevtmon
