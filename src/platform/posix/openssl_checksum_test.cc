#include "platform/posix/openssl_checksum.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>

namespace sccevtmon {
namespace {

// The portable checksum library over real files.
class OpenSslChecksumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("checksum_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  }

  std::filesystem::path dir;
  OpenSslChecksum library;
};

TEST_F(OpenSslChecksumTest, WholeFileAndBlockWiseCallsGiveTheSameKnownDigests) {
  struct Case {
    std::string bytes;
    const char* md5;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"The quick brown fox jumps over the lazy dog", "9E107D9D372BB6826BD81D3542A419D6"},
      {std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
  };
  // Given the bytes the monitor read, the library hashes them, whatever the file holds now.
  for (bool given : {false, true}) {
    for (const Case& c : cases) {
      std::string path = write("f.bin", given ? "swapped since it was read" : c.bytes);
      const std::string* contents = given ? &c.bytes : nullptr;
      ChecksumOutputs out;
      std::int16_t result = 0;
      ASSERT_TRUE(library.getMd5(path, contents, out, &result).ok());
      EXPECT_EQ(result, 1);
      EXPECT_EQ(out.checksum, c.md5) << given;
      EXPECT_EQ(out.fileSize, std::to_string(c.bytes.size()));
      for (const char* block : {"1", "3", "64", "", "junk"}) {
        ChecksumOutputs blockOut;
        ASSERT_TRUE(library.getMd5WithBlock(path, contents, block, blockOut, &result).ok());
        EXPECT_EQ(result, 1) << block;
        EXPECT_EQ(blockOut.checksum, c.md5) << block << given;
        EXPECT_EQ(blockOut.fileSize, out.fileSize) << block;
      }
    }
  }
}

TEST_F(OpenSslChecksumTest, AMissingFileAnswersZeroWithTheReason) {
  ChecksumOutputs out;
  std::int16_t result = 1;
  ASSERT_TRUE(library.getMd5((dir / "missing.xml").string(), nullptr, out, &result).ok());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out.checksum, "");
  EXPECT_EQ(out.errorInfo, "2 No such file or directory");
  ASSERT_TRUE(library.getMd5WithBlock(dir.string(), nullptr, "64", out, &result).ok());
  EXPECT_EQ(result, 0);  // a folder cannot be read as a file
}

TEST_F(OpenSslChecksumTest, WindowsShapedPathsReachTheFile) {
  std::string path = write("t.xml", "");
  ChecksumOutputs out;
  std::int16_t result = 0;
  ASSERT_TRUE(library.getMd5(dir.string() + "\\\\t.xml", nullptr, out, &result).ok());
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out.checksum, "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(OpenSslChecksumBlockTest, ClampsTheBlockSizeAndDefaultsTo64Kilobytes) {
  struct Case {
    const char* text;
    std::size_t kilobytes;
  } cases[] = {{"64", 64},
               {" 128", 128},
               {"1", 1},
               {"0", 1},
               {"65536", 65536},
               {"65537", 65536},
               {"99999999999999999999", 65536},
               {"", 64},
               {"abc", 64},
               {"32KB", 32},
               {"1.5", 1},
               {"-5", 1},
               {"-", 64}};
  for (const Case& c : cases) {
    EXPECT_EQ(OpenSslChecksum::blockBytes(c.text), c.kilobytes * 1024) << c.text;
  }
}

}  // namespace
}  // namespace sccevtmon
