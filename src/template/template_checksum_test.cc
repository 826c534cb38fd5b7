#include "template/template_checksum.h"

#include <gtest/gtest.h>

#include <initializer_list>

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

// A library that reads the file itself (the agent's, on Windows) is called on the template
// as it is on disk: the checksum stands only while the file still holds the parsed bytes after
// the call, read once more (and the library called once more) on a difference.
TEST_F(ChecksumTest, ALibraryThatReadsTheFileIsCheckedAgainstTheParsedBytes) {
  const std::string kChanged = "The template changed while its checksum was taken";
  struct Case {
    const char* name;
    std::vector<std::string> fileAfterCall;  // the file at each read after a call; "" = none
    bool failed;
    std::string reason;
    size_t libraryCalls;
  } cases[] = {
      {"unchanged", {"parsed"}, false, "", 1},
      {"rewritten with the same bytes", {"pars", "parsed"}, false, "", 2},
      {"changed", {"other", "other"}, true, "fncGenerateChecksum: " + kChanged, 2},
      {"gone",
       {"", ""},
       true,
       "fncGenerateChecksum: The template could not be read again after its checksum was taken: "
       "File not found",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.checksum.calls.clear();
    fake.checksum.readsFile = true;
    rs.templateBytes = "parsed";
    size_t call = 0;
    // The file as the library leaves it behind.
    fake.checksum.duringCall = [&] {
      const std::string& after = c.fileAfterCall[call++];
      fake.files.files.erase(FakeFileSystem::normalise(kFile));
      if (!after.empty()) fake.files.addFile(kFile, after);
    };
    EXPECT_EQ(generate(), c.failed);
    EXPECT_EQ(rs.failureReason, c.reason);
    EXPECT_EQ(fake.checksum.calls.size(), c.libraryCalls);
  }
  // The portable library hashes the parsed bytes and never reads the file: nothing to compare.
  fake.checksum.readsFile = false;
  fake.checksum.duringCall = nullptr;
  fake.checksum.calls.clear();
  fake.files.files.erase(FakeFileSystem::normalise(kFile));
  EXPECT_FALSE(generate());
  EXPECT_EQ(fake.checksum.calls.size(), 1u);
}

}  // namespace
}  // namespace sccevtmon
