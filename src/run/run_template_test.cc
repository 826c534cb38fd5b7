// Whole runs over fakes that end, or go on, at the template checks. The template document is
// read from a real temporary installation folder; everything else is fake.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "run/run_sequence.h"
#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

const char kAgentKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
const char kGoodTemplate[] =
    "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/>"
    "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr></dcm>"
    "</dcmevntlgtemplat>";

class RunTemplateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder =
        std::filesystem::temp_directory_path() / ("run_template_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "qSCC" / "MonitorTemplate");
    installPath = folder.string() + "\\";
    templatePath = installPath + "qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";

    fake.registry.setString(kAgentKey, "InstallationPath", folder.string());
    fake.registry.setString(kAgentKey, "MEMBERID", "11");
    fake.registry.setString(kAgentKey, "SITEID", "22");
    fake.registry.setString(kAgentKey, "REGID", "1234");
    fake.registry.setString(kAgentKey, "TYPE", "1");
    fake.registry.setString(kAgentKey, "EVENT", "D41D8CD98F00B204E9800998ECF8427E");
    fake.files.addFolder(installPath + "SCCPostLogs");
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  // Puts the template where the run finds it (the fake file system) and reads it (the disk).
  void setTemplate(const std::string& content) {
    fake.files.addFile(templatePath, content);
    std::ofstream(folder / "qSCC" / "MonitorTemplate" / "SCCEventLogTemplate.xml", std::ios::binary)
        << content;
  }

  std::string log() const {
    return fake.files.content(installPath + "ApplicationLog\\qSCCLog\\sccevtmon_1234.txt");
  }
  bool logHas(const std::string& message) const {
    return log().find("\t" + message + "\r\n") != std::string::npos;
  }
  // The messages of the log from the first one equal to `from`, up to `count` of them.
  std::vector<std::string> messagesFrom(const std::string& from, std::size_t count) const {
    std::vector<std::string> out;
    std::string text = log();
    std::size_t at = text.find("\t" + from + "\r\n");
    while (at != std::string::npos && out.size() < count) {
      std::size_t end = text.find("\r\n", at);
      out.push_back(text.substr(at + 1, end - at - 1));
      at = text.find('\t', end);
    }
    return out;
  }
  bool reportFileExists() const {
    for (const auto& [path, file] : fake.files.files) {
      if (path.find("wpevnt") != std::string::npos) return true;
    }
    return false;
  }
  std::string lastMessage() const {
    std::string text = log();
    std::size_t tab = text.rfind('\t');
    return tab == std::string::npos ? "" : text.substr(tab + 1, text.size() - tab - 3);
  }

  std::filesystem::path folder;
  std::string installPath;
  std::string templatePath;
  FakePlatform fake;
  RunState rs;
};

TEST_F(RunTemplateTest, ATemplateThatCannotBeLoadedStopsTheRunAtTheIntegrityCheck) {
  setTemplate("<dcmevntlgtemplat><template id=\"7\" version=\"2\"/>");
  subMain(rs, fake.platform);

  EXPECT_EQ(messagesFrom("MSg : in fncParseWebpostData", 5),
            (std::vector<std::string>{
                "MSg : in fncParseWebpostData",
                "ERR : Failed to load xml file, " + templatePath,
                "MSG : Preprocessing : Getting MD5 checksum of : " + templatePath,
                "MSG : Preprocessing : Filesize : 0 Bytes for " + templatePath,
                "MSG : Preprocessing : FileMD5CheckSum : D41D8CD98F00B204E9800998ECF8427E for " +
                    templatePath,
            }));
  EXPECT_EQ(rs.failureReason, "Failed to load the xml file");
  EXPECT_EQ(rs.executionStatus, 0);
  EXPECT_FALSE(reportFileExists());
  EXPECT_EQ(rs.executionIniPath, "");  // the run gate was never asked
  EXPECT_EQ(lastMessage(), "MSG : Application Ended");
  EXPECT_TRUE(rs.ended);
}

// A template swapped on disk between its parse and its hash: the hash is of what was parsed,
// and the template is held from before its read to after its hash.
TEST_F(RunTemplateTest, TheChecksumIsTakenOfTheBytesTheParserRead) {
  setTemplate(kGoodTemplate);
  bool read = false;
  fake.files.fail = [&](const std::string& op, const std::string& path) {
    if (op == "readFile" && path.ends_with("SCCEventLogTemplate.xml")) {
      read = true;
    } else if (read && op == "write") {  // the parser logs after its read
      fake.files.files[FakeFileSystem::normalise(templatePath)].content = "<swapped/>";
    }
    return Status::success();
  };
  subMain(rs, fake.platform);
  ASSERT_EQ(fake.checksum.contents.size(), 1u);
  EXPECT_EQ(fake.checksum.contents[0], std::optional<std::string>(kGoodTemplate));
  const std::vector<std::string>& ops = fake.files.operations;
  auto at = [&](const std::string& op) {
    return std::find(ops.begin(), ops.end(), op + " " + FakeFileSystem::normalise(templatePath)) -
           ops.begin();
  };
  EXPECT_LT(at("holdForReading"), at("readFile"));
}

// The agent's library may open the template without sharing: the parse's hold is let go
// before the library is called.
TEST_F(RunTemplateTest, TheTemplateIsNotHeldWhileTheLibraryReadsIt) {
  setTemplate(kGoodTemplate);
  fake.checksum.readsFile = true;
  std::vector<size_t> heldDuringCalls;
  fake.checksum.duringCall = [&] { heldDuringCalls.push_back(fake.files.held.size()); };
  subMain(rs, fake.platform);
  EXPECT_EQ(heldDuringCalls, std::vector<size_t>{0});
  EXPECT_LT(std::find(fake.files.operations.begin(), fake.files.operations.end(),
                      "holdForReading " + FakeFileSystem::normalise(templatePath)),
            fake.files.operations.end());
  // The file read again after the call held the parsed bytes: one call was enough.
  EXPECT_EQ(fake.checksum.calls.size(), 1u);
}

TEST_F(RunTemplateTest, ATemplateThatCannotBeParsedStopsTheRunWithTheParsersReason) {
  setTemplate("<dcmevntlgtemplat><dcm scriptid=\"1\"/></dcmevntlgtemplat>");
  subMain(rs, fake.platform);
  EXPECT_EQ(rs.failureReason,
            "Failed to parse the XML, the dcm element has no scriptver attribute");
  EXPECT_TRUE(logHas("ERR : fncParseWebpostData, the dcm element has no scriptver attribute"));
  EXPECT_FALSE(logHas("ERR : Failed to parse the XML, the dcm element has no scriptver attribute"));
  EXPECT_FALSE(reportFileExists());
  EXPECT_EQ(lastMessage(), "MSG : Application Ended");
}

TEST_F(RunTemplateTest, AChecksumMismatchOutranksTheParsersReason) {
  setTemplate("not xml");
  fake.checksum.md5Answer.outputs.checksum = "0123";
  subMain(rs, fake.platform);
  EXPECT_EQ(rs.failureReason, "Checksum mismatched for event log");
  EXPECT_TRUE(logHas("ERR : Checksum mismatched for event log"));
  EXPECT_FALSE(reportFileExists());
}

TEST_F(RunTemplateTest, ChecksumsCompareWithoutRegardToCaseAndSurroundingBlanks) {
  setTemplate(kGoodTemplate);
  fake.registry.setString(kAgentKey, "EVENT", "  d41d8cd98f00b204e9800998ecf8427e ");
  fake.checksum.md5Answer.outputs.checksum = "D41D8CD98F00B204E9800998ECF8427E ";
  subMain(rs, fake.platform);
  EXPECT_FALSE(logHas("ERR : Checksum mismatched for event log"));
  EXPECT_TRUE(logHas("MSG : Creating Summary File " + installPath + rs.summaryFileName));
  EXPECT_TRUE(logHas("MSG : @@@@@@@@@@@ Event Source System"));
  EXPECT_EQ(rs.templateId, "7");
  EXPECT_EQ(lastMessage(), "MSG : Application Ended");
}

TEST_F(RunTemplateTest, ChecksumsThatDifferStopTheRun) {
  setTemplate(kGoodTemplate);
  fake.registry.setString(kAgentKey, "EVENT", "D41D8CD98F00B204E9800998ECF8427F");
  subMain(rs, fake.platform);
  EXPECT_EQ(rs.failureReason, "Checksum mismatched for event log");
  EXPECT_TRUE(logHas("ERR : Checksum mismatched for event log"));
  EXPECT_FALSE(reportFileExists());
  EXPECT_EQ(lastMessage(), "MSG : Application Ended");
}

}  // namespace
}  // namespace sccevtmon
