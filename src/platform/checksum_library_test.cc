// The build's checksum library (OpenSSL here, the agent's library on Windows, where the tests
// load its stand-in over BCrypt) over real files: both give the same digests.
#include "platform/checksum_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/native_fixture.h"
#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

class ChecksumLibraryTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    folder.write(name, bytes);
    return folder.path() + "\\" + name;
  }

  TempFolder folder;
  std::unique_ptr<ChecksumLibrary> library = makeChecksumLibrary();
};

TEST_F(ChecksumLibraryTest, WholeFileAndBlockWiseCallsGiveTheSameKnownDigests) {
  struct Case {
    std::string bytes;
    const char* md5;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"The quick brown fox jumps over the lazy dog", "9E107D9D372BB6826BD81D3542A419D6"},
      {std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
  };
  // A library that hashes the bytes the monitor read hashes them whatever the file holds now.
  for (bool given : {false, true}) {
    if (given && library->readsTheFile()) continue;
    for (const Case& c : cases) {
      std::string path = write("f.bin", given ? "swapped since it was read" : c.bytes);
      const std::string* contents = given ? &c.bytes : nullptr;
      ChecksumOutputs out;
      std::int16_t result = 0;
      ASSERT_TRUE(library->getMd5(path, contents, out, &result).ok());
      EXPECT_EQ(result, 1);
      EXPECT_EQ(out.checksum, c.md5) << given;
      EXPECT_EQ(out.fileSize, std::to_string(c.bytes.size()));
      EXPECT_EQ(out.errorInfo, "");
      for (const char* block : {"1", "3", "64", "", "junk", "-5", "100000"}) {
        ChecksumOutputs blockOut;
        ASSERT_TRUE(library->getMd5WithBlock(path, contents, block, blockOut, &result).ok());
        EXPECT_EQ(result, 1) << block;
        EXPECT_EQ(blockOut.checksum, c.md5) << block << given;
        EXPECT_EQ(blockOut.fileSize, out.fileSize) << block;
      }
    }
  }
}

// The reason is the system's error number and text.
TEST_F(ChecksumLibraryTest, AFileThatCannotBeReadAnswersZeroWithTheReason) {
  ChecksumOutputs out;
  std::int16_t result = 1;
  ASSERT_TRUE(library->getMd5(folder.path() + "\\missing.xml", nullptr, out, &result).ok());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out.checksum, "");
  EXPECT_EQ(out.fileSize, "");
  EXPECT_THAT(out.errorInfo, ::testing::StartsWith("2 "));  // file not found
  result = 1;
  ASSERT_TRUE(library->getMd5WithBlock(folder.path(), nullptr, "64", out, &result).ok());
  EXPECT_EQ(result, 0);  // a folder cannot be read as a file
  EXPECT_NE(out.errorInfo, "");
}

TEST_F(ChecksumLibraryTest, DoubledSeparatorsReachTheFile) {
  write("t.xml", "");
  ChecksumOutputs out;
  std::int16_t result = 0;
  ASSERT_TRUE(library->getMd5(folder.path() + "\\\\t.xml", nullptr, out, &result).ok());
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out.checksum, "D41D8CD98F00B204E9800998ECF8427E");
}

}  // namespace
}  // namespace sccevtmon
