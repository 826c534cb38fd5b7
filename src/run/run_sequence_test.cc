#include "run/run_sequence.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
const char* kTemplate = "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml";
const std::string kStars(85, '*');

// The banner start-up writes for the agent of installAgent().
std::vector<std::string> banner(bool createsPostLogs = true) {
  std::vector<std::string> lines = {kStars, "MSG : Application started", kStars,
                                    "MSG : TORV installation path : /agent\\"};
  if (createsPostLogs)
    lines.push_back("MSG : Preprocessing : Creating Folder /agent\\\\SCCPostLogs");
  lines.push_back("MSG : RegId : 4711");
  lines.push_back("MSG : Exe version :: 1.0.0.0");
  return lines;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class RunSequenceTest : public RunTest {
 protected:
  void SetUp() override { installAgent(); }
  void addTemplate() {
    fake.files.addFolder("/agent/qSCC/MonitorTemplate");
    fake.files.addFile(kTemplate, "<dcmevntlgtemplat/>");
  }
  // Whether any report file was ever created.
  bool reportFilesCreated() const {
    for (const std::string& op : fake.files.operations) {
      if (op.find("wpevnt") != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(RunSequenceTest, InvalidRegIdEndsAfterTheBanner) {
  fake.registry.setString(kKey, "REGID", "0");
  subMain(rs, os);
  EXPECT_EQ(
      fake.files.content("/agent/ApplicationLog/qSCCLog/sccevtmon_0.txt"),
      "03/07/2026 14:05:09\t" + kStars + "\r\n" +
          "03/07/2026 14:05:09\tMSG : Application started\r\n"
          "03/07/2026 14:05:09\t" +
          kStars + "\r\n" +
          "03/07/2026 14:05:09\tMSG : TORV installation path : /agent\\\r\n"
          "03/07/2026 14:05:09\tMSG : Preprocessing : Creating Folder /agent\\\\SCCPostLogs\r\n"
          "03/07/2026 14:05:09\tMSG : RegId : 0\r\n"
          "03/07/2026 14:05:09\tMSG : Invalid RegId\r\n"
          "03/07/2026 14:05:09\tMSG : Application Ended\r\n");
  EXPECT_TRUE(fake.files.folderExists("/agent/SCCPostLogs"));
  EXPECT_EQ(rs.executionStatus, 0);  // no report
  EXPECT_FALSE(reportFilesCreated());
}

// A run that cannot start its work tells systemd through its exit status; another run
// holding the lock, or a run that reached its report, is no such failure.
TEST_F(RunSequenceTest, ARunThatCannotStartItsWorkIsMarkedForTheExitStatus) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> setUp;
    bool startFailed;
    std::vector<std::string> errors;
  };
  auto failOp = [](const char* which, Status s) {
    return [which, s](FakePlatform& f) {
      f.files.fail = [which, s](const std::string& op, const std::string&) {
        return op == which ? s : Status::success();
      };
    };
  };
  const Case cases[] = {
      {"no installation folder",
       [](FakePlatform& f) { f.files.folders.clear(); },
       true,
       {"sccevtmon: installation folder /agent does not exist"}},
      {"blank InstallationPath",
       [](FakePlatform& f) { f.registry.setString(kKey, "InstallationPath", "  "); },
       true,
       {"sccevtmon: no InstallationPath in the registry key SOFTWARE\\TORVEN"}},
      {"REGID with a separator",
       [](FakePlatform& f) { f.registry.setString(kKey, "REGID", "1/2"); },
       true,
       {"sccevtmon: the REGID \"1/2\" cannot be part of a file name; the run ends"}},
      {"REGID zero", [](FakePlatform& f) { f.registry.setString(kKey, "REGID", "0"); }, true, {}},
      {"lock held by another run",
       [](FakePlatform& f) { f.files.locks.insert("/agent/sccevtmon.lock"); },
       false,
       {"sccevtmon: cannot lock /agent/sccevtmon.lock: another run holds it; the run ends"}},
      {"lock file not usable",
       failOp("tryLock", runtimeError(kErrPermissionDenied)),
       true,
       {"sccevtmon: cannot lock /agent/sccevtmon.lock: Permission denied; the run ends"}},
      {"activity log not writable",
       failOp("createFolder", runtimeError(kErrPermissionDenied)),
       true,
       {"sccevtmon: cannot create folder /agent\\ApplicationLog: Permission denied"}},
      {"a file named SCCPostLogs",
       [](FakePlatform& f) { f.files.addFile("/agent/SCCPostLogs", ""); },
       true,
       {}},
      {"template missing: reported to the server", [](FakePlatform&) {}, false, {}},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.registry = fake.registry;
    f.files.addFolder("/agent");
    c.setUp(f);
    RunState run;
    subMain(run, f.platform);
    EXPECT_EQ(run.startFailed, c.startFailed) << c.name;
    EXPECT_EQ(f.process.errors, c.errors) << c.name;
    // Before the activity log is open nothing of the installation is written but the lock.
    if (!c.errors.empty() && c.startFailed) {
      EXPECT_TRUE(run.ended) << c.name;
      EXPECT_EQ(f.files.files.size(), f.files.files.count("/agent/sccevtmon.lock")) << c.name;
    }
  }
}

// "File already exists" alone does not say which file is in the way.
TEST_F(RunSequenceTest, AFileWhereThePostLogsFolderMustBeIsNamed) {
  fake.files.addFolder("/agent/ApplicationLog/qSCCLog");
  fake.files.addFile("/agent/SCCPostLogs", "");
  fake.files.fail = [](const std::string& op, const std::string&) {
    return op == "createFolder" ? runtimeError(kErrFileExists) : Status::success();
  };
  subMain(rs, os);
  std::vector<std::string> log = messages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "MSG : Main, File already exists: /agent/SCCPostLogs");
}

TEST_F(RunSequenceTest, MissingTemplateIsReported) {
  subMain(rs, os);
  EXPECT_EQ(messagesWithoutReports(),
            banner() + std::vector<std::string>{"MSG : Application Ended"});
  // Both reports are kept, since the web-post component cannot be created here.
  EXPECT_TRUE(
      fake.files.hasFile("/agent/SCCPostLogs/wpdcmscctmpevtlgst_N_4711_030720261405099.xml"));
  EXPECT_TRUE(
      fake.files.hasFile("/agent/SCCPostLogs/wpdcmscctmpevtlgfail_N_4711_030720261405099.xml"));
  EXPECT_EQ(rs.failureReason, "Event Template is missing.");
  EXPECT_EQ(rs.monitorTime, "03/07/2026 14:05:09");
  EXPECT_FALSE(reportFilesCreated());
}

TEST_F(RunSequenceTest, BlankExpectedChecksumStopsTheRun) {
  addTemplate();
  fake.registry.setString(kKey, "EVENT", "   ");
  subMain(rs, os);
  EXPECT_EQ(rs.failureReason, "Checksum is missing for the event template");
  std::vector<std::string> log = messagesWithoutReports();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "ERR : Checksum is missing for the event template");
  EXPECT_EQ(log.back(), "MSG : Application Ended");
  EXPECT_TRUE(fake.checksum.calls.empty());
  EXPECT_FALSE(reportFilesCreated());
}

TEST_F(RunSequenceTest, DifferentChecksumStopsTheRun) {
  addTemplate();
  fake.checksum.md5Answer.outputs.checksum = "0123";
  subMain(rs, os);
  EXPECT_EQ(rs.failureReason, "Checksum mismatched for event log");
  std::vector<std::string> log = messagesWithoutReports();
  EXPECT_EQ(log[log.size() - 2], "ERR : Checksum mismatched for event log");
  EXPECT_FALSE(reportFilesCreated());
}

TEST_F(RunSequenceTest, ChecksumThatCannotBeComputedStopsTheRun) {
  addTemplate();
  fake.checksum.md5Answer.result = 0;
  fake.checksum.blockAnswer = {Status::success(), 0, {"", "", " 5 "}};
  fake.files.addFile("/agent/MDCSFileList.ini", "[BlockSize]\r\nSize=64\r\n");
  subMain(rs, os);
  const std::string detail =
      "Failed to Get MD5 check Sum for File /agent\\qSCC\\MonitorTemplate\\"
      "SCCEventLogTemplate.xml Error = 5 with 64 KB Block Size";
  EXPECT_EQ(rs.failureReason, "MD5: " + detail);
  std::vector<std::string> log = messagesWithoutReports();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[log.size() - 5], "ERR : " + detail);
  EXPECT_EQ(log[log.size() - 2], "ERR : MD5: " + detail);
  EXPECT_EQ(log.back(), "MSG : Application Ended");
}

TEST_F(RunSequenceTest, ChecksumComparisonIgnoresCaseAndBlanks) {
  addTemplate();
  fake.registry.setString(kKey, "EVENT", " d41d8cd98f00b204e9800998ecf8427e ");
  fake.checksum.md5Answer.outputs.checksum = "D41D8CD98F00B204E9800998ECF8427E ";
  subMain(rs, os);
  EXPECT_NE(rs.failureReason, "Checksum mismatched for event log");
}

TEST_F(RunSequenceTest, UnhandledErrorEndsThroughTheTrapWithoutReport) {
  addTemplate();
  // Everything up to the report files passes; the summary file cannot be created.
  fake.files.fail = [](const std::string& op, const std::string& path) {
    if (op == "createFileAside" && path.find("wpevntsummdsk") != std::string::npos) {
      return runtimeError(kErrPermissionDenied);
    }
    return Status::success();
  };
  subMain(rs, os);
  std::vector<std::string> log = messages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "MSG : Main, Permission denied");
  EXPECT_EQ(log.back(), "MSG : Application Ended");
  EXPECT_EQ(rs.executionStatus, 0);
}

class ThresholdTest : public RunTest {
 protected:
  void SetUp() override {
    openLog();
    rs.detailXml = "<agtregid>4711</agtregid>";
    rs.hasDetailRows = true;
  }
};

TEST_F(ThresholdTest, AtTheThresholdTheDetailsAreKept) {
  rs.eventThreshold = "50";
  rs.totalEventCount = 50;
  applyEventThreshold(rs);
  EXPECT_TRUE(rs.hasDetailRows);
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "MSG : Total Events generated for the agent is :: 50", "MSG :",
                            "MSG : The Details Xml is:-<agtregid>4711</agtregid>", "MSG :"}));
}

TEST_F(ThresholdTest, OneAboveTheThresholdDiscardsTheDetails) {
  rs.eventThreshold = "50";
  rs.totalEventCount = 51;
  applyEventThreshold(rs);
  EXPECT_FALSE(rs.hasDetailRows);
  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "MSG : Threshold violated, Total Events generated for the entire agent is :: 51",
                "MSG : The Details Xml is:-<agtregid>4711</agtregid>"}));
}

TEST_F(ThresholdTest, RoundsHalvesToEvenAndNeverOverflows) {
  struct Case {
    const char* threshold;
    std::int32_t count;
    bool kept;
  } cases[] = {{"2.5", 2, true},
               {"2.5", 3, false},
               {"3.5", 4, true},
               {"3.5", 5, false},
               {"40000", 40000, true},
               {"40000", 40001, false},
               {"1E+20", 2147483647, true},
               {"-5", 0, false}};
  for (const Case& c : cases) {
    RunState state;
    state.hasDetailRows = true;
    state.eventThreshold = c.threshold;
    state.totalEventCount = c.count;
    applyEventThreshold(state);
    EXPECT_EQ(state.hasDetailRows, c.kept) << c.threshold << " " << c.count;
  }
}

TEST_F(ThresholdTest, NoDetailRowsNoTest) {
  rs.hasDetailRows = false;
  rs.totalEventCount = 100;
  applyEventThreshold(rs);
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace sccevtmon
