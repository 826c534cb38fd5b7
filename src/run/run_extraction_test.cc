#include "run/run_sequence.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using Lines = std::vector<std::string>;

const char* kTemplate = "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml";
const char* kIni = "/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini";

FakeLogRow row(const char* type, const char* source, const char* id) {
  return {{"evttype", std::string(type)},  {"datetime", std::string("03/07/2026 13:30:00")},
          {"evtsrc", std::string(source)}, {"cat", std::string("None")},
          {"evtid", std::string(id)},      {"msg", std::string("Something happened.")}};
}

// Whole runs over the fakes with a readable template.
class RunExtractionTest : public RunTest {
 protected:
  void SetUp() override {
    installAgent();
    fake.webPost.succeed("OK");
    fake.files.addFolder("/agent/qSCC/MonitorTemplate");
    fake.logQuery.byLog["System"].rows = {row("Error event", "Disk", "7"),
                                          row("Error event", "Disk", "7"),
                                          row("Warning event", "Ntfs", "55")};
    fake.logQuery.byLog["Application"].rows = {row("Information event", "App", "1")};
  }
  void useTemplate(const std::string& entries) {
    fake.files.addFile(kTemplate, "<dcmevntlgtemplat><template id=\"12\" version=\"3\"/>" +
                                      entries + "</dcmevntlgtemplat>");
  }
  static std::string dcm(const char* log, const char* option, const char* types = "0") {
    return std::string("<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>") + log +
           "</evntlgsourcestr><evnttype>" + types + "</evnttype><outputopt>" + option +
           "</outputopt></dcm>";
  }
  Lines postLogs() const {
    Lines names;
    for (const auto& [path, file] : fake.files.files) {
      if (path.rfind("/agent/SCCPostLogs/", 0) == 0) names.push_back(path.substr(19));
    }
    return names;
  }
  std::string postLog(const std::string& name) const {
    return fake.files.content("/agent/SCCPostLogs/" + name);
  }
  bool leftInInstallation() const {
    for (const auto& [path, file] : fake.files.files) {
      if (path.rfind("/agent/wpevnt", 0) == 0) return true;
    }
    return false;
  }
  static Lines select(const Lines& log, const std::string& prefix) {
    Lines out;
    for (const std::string& line : log) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }
};

TEST_F(RunExtractionTest, OnePassPerDistinctLogAndLastRunOnceWritten) {
  useTemplate(dcm("System", "3") + dcm("Application", "3") + dcm("System", "1"));
  subMain(rs, os);
  EXPECT_EQ(rs.eventLogNames, (Lines{"System", "Application", ""}));
  Lines log = messages();
  EXPECT_EQ(
      select(log, "MSG : @@@@@@@@@@@ Event Source "),
      (Lines{"MSG : @@@@@@@@@@@ Event Source System", "MSG : @@@@@@@@@@@ Event Source Application",
             "MSG : @@@@@@@@@@@ Event Source "}));
  EXPECT_EQ(select(log, "MSG : Updating the "),
            (Lines{"MSG : Updating the /agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini "
                   "for EventDetails, with value 50",
                   "MSG : Updating the /agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini "
                   "with value : 03/07/2026 14:05:09"}));
  EXPECT_EQ(fake.profile.value(kIni, "LastRunDateTime", "LastRun"), "03/07/2026 14:05:09");
  EXPECT_EQ(fake.logQuery.queries.size(), 2u);
  EXPECT_EQ(rs.totalEventCount, 4);
  EXPECT_EQ(postLogs(), (Lines{"wpevntdumpdsk_Y_4711_03072026140509.xml",
                               "wpevntsummdsk_N_4711_03072026140509.xml"}));
  EXPECT_FALSE(leftInInstallation());
  EXPECT_EQ(log.back(), "MSG : Application Ended");
  // Step 16 at 4 events against the default threshold of 50.
  EXPECT_EQ(select(log, "MSG : Total Events"),
            Lines{"MSG : Total Events generated for the agent is :: 4"});
}

// A LastRun that cannot be written fails the run: no "Updating" line, the error and the
// failure report say why, so the same hour is not sent again in silence. A threshold
// violation in the same run is logged beside it, and the first failure stays the reason.
TEST_F(RunExtractionTest, ALastRunThatCannotBeWrittenFailsTheRunAndLosesNoOtherFailure) {
  useTemplate(dcm("System", "3"));
  fake.files.addFile(kIni, "[Threshold]\r\nEventDetails=2\r\n");
  fake.profile.failWrite = Status{5, "Access is denied."};
  fake.process.journal = true;
  subMain(rs, os);
  Lines log = messages();
  const std::string why =
      "Failed to save the exe's last execution time. Access is denied. "
      "(/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini)";
  EXPECT_EQ(select(log,
                   "MSG : Updating the /agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini "
                   "with"),
            Lines{});
  EXPECT_EQ(select(log, "ERR : Failed"), Lines{"ERR : " + why});
  EXPECT_EQ(select(log, "MSG : Total events generated are "),
            Lines{"MSG : Total events generated are 3 which violates the threshold defined as 2"});
  EXPECT_EQ(rs.failureReason, why);
  ASSERT_EQ(fake.webPost.calls.size(), 2u);
  EXPECT_NE(fake.webPost.calls[1].xml.find("<faildesc><![CDATA[" + why + "]]>"), std::string::npos);
  ASSERT_EQ(fake.process.errors.size(), 1u);
  EXPECT_NE(fake.process.errors[0].find("; failure: " + why), std::string::npos)
      << fake.process.errors[0];
}

// LastRun moves only once the report files are settled. A run cut short before (here by a
// detail file that cannot be closed) leaves LastRun and unfinished files; the next run removes
// them before its gate and extracts the same hour again.
TEST_F(RunExtractionTest, ARunCutShortKeepsLastRunAndItsHourIsExtractedAgain) {
  useTemplate(dcm("System", "3"));
  fake.files.fail = [](const std::string& op, const std::string& path) {
    return op == "close" && path.find("wpevntdumpdsk") != std::string::npos
               ? runtimeError(kErrDiskFull)
               : Status::success();
  };
  subMain(rs, os);
  EXPECT_EQ(messages()[messages().size() - 2], "MSG : Main, Disk full");
  EXPECT_EQ(fake.profile.value(kIni, "LastRunDateTime", "LastRun"), "<missing>");
  EXPECT_TRUE(postLogs().empty());
  EXPECT_TRUE(leftInInstallation());

  fake.files.fail = nullptr;
  fake.clock.time.minute = 30;
  RunState next;
  subMain(next, os);
  Lines log = messages();
  EXPECT_EQ(select(log, "MSG : Removing the unfinished file "),
            (Lines{"MSG : Removing the unfinished file /agent\\wpevntdumpdsk_Y_4711_"
                   "03072026140509.xml.part-000002 left by an interrupted run",
                   "MSG : Removing the unfinished file /agent\\wpevntsummdsk_N_4711_"
                   "03072026140509.xml.part-000001 left by an interrupted run"}));
  EXPECT_EQ(next.fromTime, "03/07/2026 13:30:09");
  EXPECT_EQ(fake.profile.value(kIni, "LastRunDateTime", "LastRun"), "03/07/2026 14:30:09");
  EXPECT_EQ(postLogs(), (Lines{"wpevntdumpdsk_Y_4711_03072026143009.xml",
                               "wpevntsummdsk_N_4711_03072026143009.xml"}));
  EXPECT_FALSE(leftInInstallation());
}

TEST_F(RunExtractionTest, ThresholdExceededDiscardsTheDetailFileOnly) {
  useTemplate(dcm("System", "3"));
  fake.files.addFile(kIni, "[Threshold]\r\nEventDetails=2\r\n");
  subMain(rs, os);
  Lines log = messages();
  EXPECT_EQ(select(log, "MSG : Threshold violated"),
            Lines{"MSG : Threshold violated, Total Events generated for the entire agent is :: 3"});
  EXPECT_EQ(postLogs(), Lines{"wpevntsummdsk_N_4711_03072026140509.xml"});
  EXPECT_FALSE(leftInInstallation());
  EXPECT_EQ(select(log, "MSG : No events generated").size(), 1u);
  expectGolden(postLog("wpevntsummdsk_N_4711_03072026140509.xml"),
               "src/run/testdata/threshold_summary.xml");
  // The status report says the run went well; the failure report names the violation.
  ASSERT_EQ(fake.webPost.calls.size(), 2u);
  EXPECT_NE(fake.webPost.calls[0].xml.find("<status>1</status>"), std::string::npos);
  EXPECT_NE(fake.webPost.calls[1].xml.find(
                "<faildesc><![CDATA[Total events generated are 3 which violates the threshold "
                "defined as 2]]></faildesc><exever>1.0.0.0</exever><tmpid>12</tmpid>"
                "<tmpver>3</tmpver>"),
            std::string::npos);
}

TEST_F(RunExtractionTest, ThresholdExactlyMetHandsOverBoth) {
  useTemplate(dcm("System", "3"));
  fake.files.addFile(kIni, "[Threshold]\r\nEventDetails=3\r\n");
  subMain(rs, os);
  EXPECT_EQ(postLogs().size(), 2u);
  expectGolden(postLog("wpevntsummdsk_N_4711_03072026140509.xml"),
               "src/run/testdata/threshold_summary.xml");
  expectGolden(postLog("wpevntdumpdsk_Y_4711_03072026140509.xml"),
               "src/run/testdata/threshold_met_detail.xml");
  Lines log = messages();
  auto at = std::find(log.begin(), log.end(), "MSG : Total Events generated for the agent is :: 3");
  ASSERT_NE(at, log.end());
  EXPECT_EQ(*(at + 1), "MSG :");
  EXPECT_EQ((at + 2)->rfind("MSG : The Details Xml is:-<agtregid>4711</agtregid>", 0), 0u);
  EXPECT_EQ(*(at + 3), "MSG :");
}

TEST_F(RunExtractionTest, TemplateWithoutEntriesQueriesNothing) {
  useTemplate("");
  subMain(rs, os);
  EXPECT_TRUE(fake.logQuery.queries.empty());
  EXPECT_EQ(fake.profile.value(kIni, "LastRunDateTime", "LastRun"), "<missing>");
  EXPECT_TRUE(postLogs().empty());
  EXPECT_FALSE(leftInInstallation());
  Lines log = messages();
  EXPECT_EQ(select(log, "MSG : No events generated").size(), 2u);
  EXPECT_EQ(select(log, "MSG : The summary Xml is:-"),
            Lines{"MSG : The summary Xml is:-<wpevntsummdsk><regid>4711</regid><mntime>03/07/2026 "
                  "14:05:09</mntime><ftime>03/07/2026 13:05:09</ftime><totime>03/07/2026 "
                  "14:05:09</totime></wpevntsummdsk>"});
}

TEST_F(RunExtractionTest, EntriesWithoutALogNameGiveNoPassAndANormalEnd) {
  useTemplate("<dcm scriptid=\"1\" scriptver=\"1\"><outputopt>3</outputopt></dcm>");
  subMain(rs, os);
  EXPECT_TRUE(rs.hasEntries);
  EXPECT_TRUE(rs.eventLogNames.empty());
  Lines log = messages();
  EXPECT_TRUE(select(log, "MSG : Main, ").empty());
  EXPECT_EQ(log.back(), "MSG : Application Ended");
}

TEST_F(RunExtractionTest, RunGateRefusalEndsBeforeTheReportFiles) {
  useTemplate(dcm("System", "3"));
  fake.files.addFile(kIni, "[LastRunDateTime]\r\nLastRun=03/07/2026 14:00:00\r\n");
  subMain(rs, os);
  EXPECT_EQ(rs.failureReason, "Last exection is less than an hour.");
  EXPECT_TRUE(fake.logQuery.queries.empty());
  EXPECT_FALSE(leftInInstallation());
  Lines log = messagesWithoutReports();
  EXPECT_EQ(log[log.size() - 2], "MSG : Events will be extracted for last 0 HOURS");
  EXPECT_EQ(log.back(), "MSG : Application Ended");
}

// A checksum library that removes the template while it reads it.
class VanishingChecksum : public FakeChecksum {
 public:
  explicit VanishingChecksum(FakeFileSystem& files) : files_(files) {}
  Status getMd5(const std::string& file, const std::string* contents, ChecksumOutputs& out,
                std::int16_t* result) override {
    files_.files.erase(FakeFileSystem::normalise(file));
    return FakeChecksum::getMd5(file, contents, out, result);
  }

 private:
  FakeFileSystem& files_;
};

TEST_F(RunExtractionTest, TemplateGoneBeforeTheReportFilesIsReported) {
  useTemplate(dcm("System", "3"));
  VanishingChecksum checksum(fake.files);
  Platform platform{fake.registry, fake.profile,  fake.files,   fake.clock,
                    fake.process,  fake.logQuery, fake.webPost, checksum};
  subMain(rs, platform);
  const std::string path = "/agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";
  EXPECT_EQ(rs.failureReason, path + " is missing");
  Lines log = messagesWithoutReports();
  EXPECT_EQ(log[log.size() - 2], "ERR : " + path + ", not found");
  EXPECT_FALSE(leftInInstallation());
}

// The activity log gathers lines in a buffer; whatever the server or the agent receives, the
// log file already leads up to it. The fake streams here keep their text until flushed, and
// the log file is read at the moment of each post and each file put into the post-logs folder.
struct LogOrderCase {
  const char* name;
  bool postsSucceed;
  bool leftByEarlierRun;  // a whole report file waits in the installation folder
  std::vector<std::string> moments;
};

class LogOrderTest : public RunExtractionTest,
                     public ::testing::WithParamInterface<LogOrderCase> {};

TEST_P(LogOrderTest, TheLogOnDiskLeadsUpToEveryPostAndHandOver) {
  const LogOrderCase& c = GetParam();
  struct Moment {
    std::string what;  // "post", "copy" or "kept"
    std::string log;   // the log file at that moment
  };
  fake.files.holdUntilFlush = true;
  if (!c.postsSucceed) fake.webPost.fail("500", "Server error", "");
  if (c.leftByEarlierRun) {
    fake.files.addFile("/agent/wpevntsummdsk_N_4711_03072026130509.xml",
                       "<wpevntsummdsk><regid>4711</regid></wpevntsummdsk>");
  }
  useTemplate(dcm("System", "3"));
  std::vector<Moment> moments;
  fake.webPost.onPost = [&](const PostXmlCall&) {
    moments.push_back({"post", fake.files.content(kLog)});
  };
  fake.files.fail = [&](const std::string& op, const std::string& path) {
    if (op == "copyFile" && path.find("/SCCPostLogs/") != std::string::npos) {
      moments.push_back({"copy", fake.files.content(kLog)});
    } else if (op == "renameFile" && path.find("/SCCPostLogs/wpdcm") != std::string::npos) {
      moments.push_back({"kept", fake.files.content(kLog)});
    }
    return Status::success();
  };
  subMain(rs, os);

  const std::string whole = fake.files.content(kLog);
  std::vector<std::string> kinds;
  for (const Moment& m : moments) {
    kinds.push_back(m.what);
    EXPECT_TRUE(whole.starts_with(m.log)) << m.what;
    // The last line on disk is the one that announced this post or file.
    ASSERT_GE(m.log.size(), 22u);
    std::size_t last = m.log.rfind("\r\n", m.log.size() - 3);
    std::string line = m.log.substr(last == std::string::npos ? 0 : last + 2);
    const std::string announced = m.what == "post"   ? "MSG : Webposting Source :: "
                                  : m.what == "copy" ? "MSG : Copying file "
                                                     : "MSG : Creating File ";
    EXPECT_EQ(line.substr(20, announced.size()), announced) << line;
  }
  EXPECT_EQ(kinds, c.moments);
}

INSTANTIATE_TEST_SUITE_P(
    PostsAndHandOvers, LogOrderTest,
    ::testing::Values(LogOrderCase{"posted", true, false, {"copy", "copy", "post"}},
                      LogOrderCase{"kept_after_a_hand_over_at_start_up",
                                   false,
                                   true,
                                   {"copy", "copy", "copy", "post", "kept"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sccevtmon
