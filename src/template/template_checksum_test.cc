#include "template/template_checksum.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "platform/posix/openssl_checksum.h"
#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

const std::string kEmptyMd5 = "D41D8CD98F00B204E9800998ECF8427E";
const std::string kFile = "C:\\TORVEN\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";
const std::string kListFile = "C:\\TORVEN\\MDCSFileList.ini";

class ChecksumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs.installPath = "C:\\TORVEN\\";
    fake.files.addFolder("/log");
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fake.files.createTextFile("/log/activity.txt", true, &stream).ok());
    rs.activityLog.open(std::move(stream), fake.clock);
    rs.failureReason = "left from before";
  }

  static std::string logOf(std::initializer_list<std::string> messages) {
    std::string out;
    for (const std::string& m : messages) out += "03/07/2026 14:05:09\t" + m + "\r\n";
    return out;
  }
  std::string log() const { return fake.files.content("/log/activity.txt"); }
  bool generate() { return fncGenerateChecksum(rs, fake.platform, kFile, rs.failureReason); }

  FakePlatform fake;
  RunState rs;
};

TEST_F(ChecksumTest, TheWholeFileCallGivesTheChecksum) {
  EXPECT_FALSE(generate());
  EXPECT_EQ(rs.failureReason, "");
  EXPECT_EQ(rs.computedChecksum, kEmptyMd5);
  EXPECT_EQ(fake.checksum.calls, std::vector<std::string>{"md5 " + kFile});
  EXPECT_EQ(log(),
            logOf({"MSG : Preprocessing : Getting MD5 checksum of : " + kFile,
                   "MSG : Preprocessing : Filesize : 0 Bytes for " + kFile,
                   "MSG : Preprocessing : FileMD5CheckSum : " + kEmptyMd5 + " for " + kFile}));
}

TEST_F(ChecksumTest, TheBlockWiseCallStandsInWhenTheWholeFileCallFails) {
  fake.files.addFile(kListFile, "[BlockSize]\r\nSize=128\r\n");
  fake.checksum.md5Answer = {Status::success(), 0, {"", "", "busy"}};
  fake.checksum.blockAnswer = {Status::success(), 1, {"ABC", "1234", ""}};
  EXPECT_FALSE(generate());
  EXPECT_EQ(fake.checksum.calls,
            (std::vector<std::string>{"md5 " + kFile, "block " + kFile + " 128"}));
  EXPECT_EQ(rs.computedChecksum, "ABC");
  EXPECT_EQ(log(), logOf({"MSG : Preprocessing : Getting MD5 checksum of : " + kFile,
                          "MSG : Preprocessing : Filesize : 1234 Bytes for " + kFile,
                          "MSG : Preprocessing : FileMD5CheckSum : ABC for " + kFile}));
}

TEST_F(ChecksumTest, BothCallsFailingGiveTheErrorAndTheBlockSize) {
  struct Case {
    const char* listFile;  // nullptr: no checksum list file
    const char* blockSize;
  } cases[] = {
      {"[BlockSize]\r\nSize = 64\r\n", "64"}, {nullptr, ""}, {"[Other]\r\nSize=8\r\n", ""}};
  for (const Case& c : cases) {
    fake.files.files.clear();
    if (c.listFile) fake.files.addFile(kListFile, c.listFile);
    fake.checksum.md5Answer = {Status::success(), 0, {"", "", "  5 "}};
    fake.checksum.blockAnswer = {Status::success(), 0, {}};
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fake.files.createTextFile("/log/activity.txt", true, &stream).ok());
    rs = RunState{};
    rs.installPath = "C:\\TORVEN\\";
    rs.activityLog.open(std::move(stream), fake.clock);

    EXPECT_TRUE(generate());
    const std::string detail = "Failed to Get MD5 check Sum for File " + kFile +
                               " Error = 5 with " + c.blockSize + " KB Block Size";
    EXPECT_EQ(rs.failureReason, "MD5: " + detail);
    EXPECT_EQ(log(),
              logOf({"MSG : Preprocessing : Getting MD5 checksum of : " + kFile, "ERR : " + detail,
                     "MSG : Preprocessing : Filesize :  Bytes for " + kFile,
                     "MSG : Preprocessing : FileMD5CheckSum :  for " + kFile}));
    EXPECT_EQ(rs.computedChecksum, "");
  }
}

TEST_F(ChecksumTest, ALibraryThatCannotBeCalledEndsTheRoutineThroughItsTrap) {
  fake.checksum.md5Answer.status = runtimeError(kErrCannotCreateObject);
  EXPECT_TRUE(generate());
  EXPECT_EQ(rs.failureReason, "fncGenerateChecksum: ActiveX component can't create object");
  EXPECT_EQ(fake.checksum.calls, std::vector<std::string>{"md5 " + kFile});  // no block-wise call
  EXPECT_EQ(log(), logOf({"MSG : Preprocessing : Getting MD5 checksum of : " + kFile,
                          "ERR : fncGenerateChecksum: ActiveX component can't create object"}));
  EXPECT_EQ(rs.computedChecksum, "");
}

TEST_F(ChecksumTest, AnErrorOfTheBlockWiseCallEndsTheRoutineThroughItsTrap) {
  fake.checksum.md5Answer = {Status::success(), 0, {}};
  fake.checksum.blockAnswer.status = Status{kErrTypeMismatch, "Type mismatch"};
  EXPECT_TRUE(generate());
  EXPECT_EQ(rs.failureReason, "fncGenerateChecksum: Type mismatch");
  EXPECT_EQ(log(), logOf({"MSG : Preprocessing : Getting MD5 checksum of : " + kFile,
                          "ERR : fncGenerateChecksum: Type mismatch"}));
}

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
