// The file-system object of this build (the posix stand-in, or the Win32 functions) on a real
// temporary folder, with paths as the monitor builds them.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "testing/native_fixture.h"
#include "testing/temp_folder.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace sccevtmon {
namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::unique_ptr<FileSystem> files = makeFileSystem();
  FileSystem& fs = *files;
  std::string win(const std::string& rest) { return folder.path() + "\\" + rest; }
  // The last part of a path as either build spells it.
  static std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of("/\\") + 1);
  }
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

// Only a regular file within the limit is read; anything else fails without being read.
TEST_F(FileSystemTest, ReadsOnlyRegularFilesWithinTheLimit) {
  folder.write("ten.txt", "0123456789");
  std::string bytes;
  ASSERT_TRUE(fs.readFile(win("ten.txt"), &bytes, 10).ok());
  EXPECT_EQ(bytes, "0123456789");
  EXPECT_EQ(fs.readFile(win("ten.txt"), &bytes, 9).number, kErrPathFileAccess);
  EXPECT_EQ(fs.readFile(folder.path(), &bytes, 10).number, kErrPathFileAccess);
  EXPECT_EQ(fs.readFile(win("none.txt"), &bytes, 10).number, kErrFileNotFound);
}

// Files written aside get names of their own and appear under the final name only by rename;
// the run's lock is exclusive and free again once released.
TEST_F(FileSystemTest, FilesWrittenAsideAndTheRunLock) {
  std::string first, second;
  std::unique_ptr<TextStream> a, b;
  ASSERT_TRUE(fs.createFileAside(win("r.xml"), &first, &a).ok());
  ASSERT_TRUE(fs.createFileAside(win("r.xml"), &second, &b).ok());
  EXPECT_NE(first, second);
  EXPECT_EQ(baseName(first).rfind(std::string("r.xml") + kAsideMark, 0), 0u) << first;
  ASSERT_TRUE(a->writeLine("whole").ok());
  EXPECT_EQ(folder.read(baseName(first)), "");  // buffered until close
  ASSERT_TRUE(a->close().ok());
  ASSERT_TRUE(fs.renameFile(first, win("r.xml")).ok());
  EXPECT_EQ(folder.read("r.xml"), "whole\r\n");
  std::vector<std::string> names;
  ASSERT_TRUE(fs.listFiles(folder.path(), &names).ok());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"r.xml", baseName(second)}));

  std::unique_ptr<FileHold> lock, again;
  ASSERT_TRUE(fs.tryLock(win("x.lock"), &lock).ok());
  Status busy = fs.tryLock(win("x.lock"), &again);
  EXPECT_EQ(busy.number, kErrPermissionDenied);
  EXPECT_EQ(busy.description, "another run holds it");
  lock.reset();
  EXPECT_TRUE(fs.tryLock(win("x.lock"), &again).ok());
}

#ifndef _WIN32
// A symbolic link where a file is created, appended to or locked is not followed.
TEST_F(FileSystemTest, NoLinkIsFollowedWhereAFileIsWritten) {
  folder.write("target", "untouched");
  ASSERT_EQ(::symlink(folder.file("target").c_str(), folder.file("link").c_str()), 0);
  std::unique_ptr<TextStream> s;
  EXPECT_EQ(fs.createTextFile(win("link"), true, &s).number, kErrPathFileAccess);
  EXPECT_EQ(fs.createTextFile(win("link"), false, &s).number, kErrFileExists);
  EXPECT_EQ(fs.openTextFileForAppending(win("link"), &s).number, kErrPathFileAccess);
  std::unique_ptr<FileHold> lock;
  EXPECT_EQ(fs.tryLock(win("link"), &lock).number, kErrPathFileAccess);
  EXPECT_EQ(folder.read("target"), "untouched");
}

#endif

}  // namespace
}  // namespace sccevtmon
