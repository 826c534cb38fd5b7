// The checksum library loader against the test-only stand-in QGnMD5.dll (built into
// test-components/ beside this executable, over BCrypt's MD5): every way the call can fail.
// The digests are checked with the portable build's (checksum_library_test.cc).
#include "platform/win32/agent_checksum.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/win32/automation.h"
#include "platform/win32/process.h"
#include "template/template_checksum.h"
#include "testing/native_fixture.h"
#include "testing/temp_folder.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

// The two calls, in one place each: the library reads the file itself, so the bytes the
// monitor read (the contents argument) are not given.
Status whole(ChecksumLibrary& library, const std::string& file, ChecksumOutputs& out,
             std::int16_t* result) {
  return library.getMd5(file, nullptr, out, result);
}
Status block(ChecksumLibrary& library, const std::string& file, const std::string& blockSize,
             ChecksumOutputs& out, std::int16_t* result) {
  return library.getMd5WithBlock(file, nullptr, blockSize, out, result);
}

// The stand-in is found by its plain name, as the agent's library is: the folder joins the
// standard search path for the test.
class AgentChecksumTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetDllDirectoryA(componentsFolder().c_str())); }
  void TearDown() override { SetDllDirectoryA(nullptr); }

  std::string write(const std::string& name, const std::string& bytes) {
    folder.write(name, bytes);
    return folder.path() + "\\" + name;
  }

  TempFolder folder;
  AgentChecksumLibrary library;  // "QGnMD5"
};

// The block-wise call gets the outputs the first call left, and its own failure.
TEST_F(AgentChecksumTest, AFailedCallKeepsTheOutputsItWasGiven) {
  ChecksumOutputs out;
  out.checksum = "left by the first call";
  std::int16_t result = 1;
  ASSERT_TRUE(block(library, folder.path(), "64", out, &result).ok());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out.checksum, "left by the first call");
  EXPECT_THAT(out.errorInfo, ::testing::StartsWith("5 "));  // ERROR_ACCESS_DENIED
}

TEST_F(AgentChecksumTest, AMissingLibraryIsFileNotFound) {
  AgentChecksumLibrary missing("sccevtmon-no-such-library");
  ChecksumOutputs out;
  std::int16_t result = 1;
  Status s = whole(missing, write("t.xml", "x"), out, &result);
  EXPECT_EQ(s.number, kErrFileNotFound);
  EXPECT_EQ(s.description, "File not found: sccevtmon-no-such-library");
  EXPECT_EQ(result, 0);
  s = block(missing, folder.path() + "\\t.xml", "64", out, &result);
  EXPECT_EQ(s.number, kErrFileNotFound);
}

TEST_F(AgentChecksumTest, ALibraryThatIsNoLibraryCannotBeLoaded) {
  std::string notADll = write("QGnMD5.dll", "MZ but nothing after it");
  AgentChecksumLibrary broken(notADll);
  ChecksumOutputs out;
  std::int16_t result = 1;
  Status s = whole(broken, notADll, out, &result);
  EXPECT_EQ(s.number, kErrDllLoad) << s.description;
  EXPECT_THAT(s.description, ::testing::StartsWith("Error in loading DLL " + notADll));
}

TEST_F(AgentChecksumTest, AMissingFunctionIsItsEntryPointNotFound) {
  // A library that is there but has neither function.
  AgentChecksumLibrary other("kernel32");
  ChecksumOutputs out;
  std::int16_t result = 1;
  Status s = whole(other, write("t.xml", "x"), out, &result);
  EXPECT_EQ(s.number, kErrDllEntryPoint);
  EXPECT_EQ(s.description, "Can't find DLL entry point QGetMD5 in kernel32");
  s = block(other, folder.path() + "\\t.xml", "64", out, &result);
  EXPECT_EQ(s.number, kErrDllEntryPoint);
  EXPECT_EQ(s.description, "Can't find DLL entry point QGetMD5WBlock in kernel32");
  EXPECT_EQ(result, 0);
}

TEST_F(AgentChecksumTest, AnOutputThatIsNoTextIsATypeMismatch) {
  ChecksumOutputs out;
  std::int16_t result = 1;
  Status s = block(library, write("t.xml", "x"), "stand-in:unknown-output", out, &result);
  EXPECT_EQ(s.number, kErrTypeMismatch);
  EXPECT_EQ(s.description, "Type mismatch");
}

TEST_F(AgentChecksumTest, TheOperatorsCommandIsCertutil) {
  EXPECT_EQ(
      library.operatorCommand("C:\\TORVEN\\\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml"),
      "certutil -hashfile \"C:\\TORVEN\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml\" MD5");
  EXPECT_EQ(library.operatorCommand("\\\\server\\share\\t.xml"),
            "certutil -hashfile \"\\\\server\\share\\t.xml\" MD5");
}

// fncGenerateChecksum over the real library, the rest of the platform fakes.
class GenerateChecksumOnWindowsTest : public RunTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetDllDirectoryA(componentsFolder().c_str()));
    openLog();
  }
  void TearDown() override { SetDllDirectoryA(nullptr); }

  Platform platformWith(ChecksumLibrary& checksum) {
    return Platform{fake.registry, fake.profile,  fake.files,   fake.clock,
                    fake.process,  fake.logQuery, fake.webPost, checksum};
  }

  TempFolder folder;
};

TEST_F(GenerateChecksumOnWindowsTest, TheTemplatesChecksumComesFromTheLibrary) {
  folder.write("t.xml", "The quick brown fox jumps over the lazy dog");
  const std::string file = folder.path() + "\\t.xml";
  AgentChecksumLibrary library;
  Platform os = platformWith(library);
  std::string reason = "left over";
  EXPECT_FALSE(fncGenerateChecksum(rs, os, file, reason));
  EXPECT_EQ(reason, "");
  EXPECT_EQ(rs.computedChecksum, "9E107D9D372BB6826BD81D3542A419D6");
  EXPECT_THAT(
      logLines(),
      ::testing::ElementsAre(
          "MSG : Preprocessing : Getting MD5 checksum of : " + file,
          "MSG : Preprocessing : Filesize : 43 Bytes for " + file,
          "MSG : Preprocessing : FileMD5CheckSum : 9E107D9D372BB6826BD81D3542A419D6 for " + file));
}

TEST_F(GenerateChecksumOnWindowsTest, BothCallsFailingGiveTheLibrarysReason) {
  const std::string file = folder.path() + "\\missing.xml";
  AgentChecksumLibrary library;
  Platform os = platformWith(library);
  std::string reason;
  EXPECT_TRUE(fncGenerateChecksum(rs, os, file, reason));
  // No checksum list file: the block size is empty.
  EXPECT_THAT(reason, ::testing::MatchesRegex("MD5: Failed to Get MD5 check Sum for File .*"
                                              "missing.xml Error = 2 .* with  KB Block Size"));
  EXPECT_EQ(rs.computedChecksum, "");
}

TEST_F(GenerateChecksumOnWindowsTest, AMissingLibraryIsTheRoutinesError) {
  folder.write("t.xml", "x");
  AgentChecksumLibrary library("sccevtmon-no-such-library");
  Platform os = platformWith(library);
  std::string reason;
  EXPECT_TRUE(fncGenerateChecksum(rs, os, folder.path() + "\\t.xml", reason));
  EXPECT_EQ(reason, "fncGenerateChecksum: File not found: sccevtmon-no-such-library");
  EXPECT_EQ(logLines(1), std::vector<std::string>{"ERR : " + reason});
}

}  // namespace
}  // namespace sccevtmon
