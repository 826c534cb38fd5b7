#include "report/status_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kStatusUrl[] =
    "http://srv/base/tfr_wpdcmscctmpevtlgst.asp?mmid=11&sid=22&rid=4711&rty=3";
const char kFailureUrl[] =
    "https://srv/fail/tfr_wpdcmscctmpevtlgfail.asp?mmid=11&sid=22&rid=4711&rty=3";

std::string statusXml(const std::string& status, const std::string& tmp) {
  return "<wpdcmscctmpevtlgst><mmid>11</mmid><siteid>22</siteid><regid>4711</regid>"
         "<scandt>03/07/2026 14:05:09</scandt><status>" +
         status + "</status><exever>1.0.0.0</exever>" + tmp + "</wpdcmscctmpevtlgst>";
}

std::string failureXml(const std::string& reason, const std::string& tmp) {
  return "<wpdcmscctmpevtlgfail><mmid>11</mmid><siteid>22</siteid><regid>4711</regid>"
         "<scandt>03/07/2026 14:05:09</scandt><faildesc><![CDATA[" +
         reason + "]]></faildesc><exever>1.0.0.0</exever>" + tmp + "</wpdcmscctmpevtlgfail>";
}

const char kNoTemplate[] = "<tmpid>0</tmpid><tmpver>0</tmpver>";

class StatusReportTest : public RunTest {
 protected:
  StatusReportTest() {
    startRun(rs);
    fake.files.addFile(kSettings,
                       "[wpdcmodjobexestsins]\r\nURL=http://srv/base\r\n"
                       "[wpdcmscctmpevtlgfail]\r\nURL=https://srv/fail/\r\n");
    fake.webPost.succeed("OK");
  }

  bool report() { return fncPostExecutionStatus(rs, fake.platform); }
  std::string lastFailure(const char* key) {
    return fake.profile.value(kExecutionIni, "LastFailure", key);
  }
  // The files in the post-logs folder, by name.
  std::vector<std::string> spooled() const {
    std::vector<std::string> names;
    for (const auto& [path, file] : fake.files.files) {
      if (path.starts_with("/agent/SCCPostLogs/")) names.push_back(path.substr(19));
    }
    return names;
  }
};

TEST_F(StatusReportTest, ACleanRunPostsTheStatusAndClearsTheLastFailure) {
  rs.templateId = "12";
  rs.templateVersion = "2.50";
  rs.totalEventCount = 3;
  fake.files.addFile(kExecutionIni, "[LastFailure]\r\nReason=old\r\nExecutedOn=x\r\n");

  EXPECT_TRUE(report());
  EXPECT_EQ(rs.executionStatus, 1);
  const std::string xml = statusXml("1", "<tmpid>12</tmpid><tmpver>2.5</tmpver>");
  ASSERT_EQ(fake.webPost.calls.size(), 1u);
  EXPECT_EQ(fake.webPost.calls[0].xml, xml);
  EXPECT_EQ(fake.webPost.calls[0].url, kStatusUrl);
  EXPECT_THAT(logLines(), ElementsAre("MSG : Webposting data :: " + xml,
                                      std::string("MSG : Webposting Source :: ") + kStatusUrl,
                                      "MSG : Webpost Received data :: OK"));
  EXPECT_EQ(lastFailure("Reason"), "");
  EXPECT_EQ(lastFailure("ExecutedOn"), "03/07/2026 14:05:09");
  EXPECT_THAT(spooled(), IsEmpty());
}

TEST_F(StatusReportTest, EveryEarlyExitPostsBothReports) {
  struct Case {
    const char* reason;
    const char* templateId;
    const char* templateVersion;
    const char* tmp;
  } cases[] = {
      {"Event Template is missing.", "", "", kNoTemplate},
      {"Checksum is missing for the event template", "7", "1.0",
       "<tmpid>7</tmpid><tmpver>1</tmpver>"},
      {"Checksum mismatched for event log", "7", "1.0", "<tmpid>7</tmpid><tmpver>1</tmpver>"},
      {"Last exection is less than an hour.", "7", "1.0", "<tmpid>7</tmpid><tmpver>1</tmpver>"},
      {"/agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml is missing", "7", "1.0",
       "<tmpid>7</tmpid><tmpver>1</tmpver>"},
  };
  for (const Case& c : cases) {
    RunState run;
    startRun(run);
    run.failureReason = c.reason;
    run.templateId = c.templateId;
    run.templateVersion = c.templateVersion;
    fake.webPost.calls.clear();
    fake.files.files.erase(FakeFileSystem::normalise(kExecutionIni));

    EXPECT_TRUE(fncPostExecutionStatus(run, fake.platform));
    EXPECT_EQ(run.executionStatus, 0);
    ASSERT_EQ(fake.webPost.calls.size(), 2u) << c.reason;
    EXPECT_EQ(fake.webPost.calls[0].xml, statusXml("0", c.tmp));
    EXPECT_EQ(fake.webPost.calls[0].url, kStatusUrl);
    EXPECT_EQ(fake.webPost.calls[1].xml, failureXml(c.reason, c.tmp));
    EXPECT_EQ(fake.webPost.calls[1].url, kFailureUrl);
    EXPECT_EQ(lastFailure("Reason"), c.reason);
    EXPECT_EQ(lastFailure("ExecutedOn"), "03/07/2026 14:05:09");
  }
}

TEST_F(StatusReportTest, AThresholdViolationFollowsTheStatusWithAFailureReport) {
  const std::string reason =
      "Total events generated are 51 which violates the threshold defined as 50";
  rs.totalEventCount = 51;
  EXPECT_TRUE(report());
  EXPECT_EQ(rs.failureReason, reason);
  ASSERT_EQ(fake.webPost.calls.size(), 2u);
  EXPECT_EQ(fake.webPost.calls[0].xml, statusXml("1", kNoTemplate));
  EXPECT_EQ(fake.webPost.calls[1].xml, failureXml(reason, kNoTemplate));
  EXPECT_EQ(lastFailure("Reason"), reason);
}

TEST_F(StatusReportTest, TheThresholdRoundsHalvesToEvenAndHasNoUpperLimit) {
  struct Case {
    const char* threshold;
    std::int32_t count;
    bool violated;
  } cases[] = {
      {"50", 50, false},      {"50", 51, true},          {"40000", 40000, false},
      {"40000", 40001, true}, {"50.5", 51, true},        {"51.5", 52, false},
      {" 7 ", 8, true},       {"1E+20", INT_MAX, false}, {"-1", 0, true},
  };
  for (const Case& c : cases) {
    RunState run;
    startRun(run);
    run.eventThreshold = c.threshold;
    run.totalEventCount = c.count;
    fake.webPost.calls.clear();
    fake.files.files.erase(FakeFileSystem::normalise(kExecutionIni));
    EXPECT_TRUE(fncPostExecutionStatus(run, fake.platform)) << c.threshold;
    EXPECT_EQ(fake.webPost.calls.size(), c.violated ? 2u : 1u) << c.threshold << " " << c.count;
    if (c.violated) {
      EXPECT_EQ(run.failureReason, "Total events generated are " + std::to_string(c.count) +
                                       " which violates the threshold defined as " + c.threshold);
    }
  }
}

TEST_F(StatusReportTest, AThresholdThatIsNoNumberStopsAfterTheStatus) {
  for (const char* threshold : {"abc", "", "12abc"}) {
    RunState run;
    startRun(run);
    run.eventThreshold = threshold;
    run.totalEventCount = 1000;
    size_t before = logLines().size();
    fake.webPost.calls.clear();
    EXPECT_FALSE(fncPostExecutionStatus(run, fake.platform));
    EXPECT_EQ(fake.webPost.calls.size(), 1u);
    EXPECT_EQ(logLines(before).back(), "ERR : fncPostExecutionStatus, Type mismatch");
    EXPECT_EQ(fake.profile.writeCount, 0);
  }
}

TEST_F(StatusReportTest, TheSameFailureIsPostedOnlyOnce) {
  rs.failureReason = "Checksum mismatched for event log";
  report();
  ASSERT_EQ(fake.webPost.calls.size(), 2u);

  RunState second;
  startRun(second);
  second.monitorTime = "03/07/2026 15:05:09";
  second.failureReason = "  Checksum mismatched for event log ";
  size_t before = logLines().size();
  EXPECT_TRUE(fncPostExecutionStatus(second, fake.platform));
  EXPECT_EQ(fake.webPost.calls.size(), 3u);
  EXPECT_EQ(logLines(before).back(),
            "MSG : Same Failure occured, so failure webpost will not be send");
  EXPECT_EQ(lastFailure("ExecutedOn"), "03/07/2026 15:05:09");
}

TEST_F(StatusReportTest, ReasonsDifferingInCaseOrInnerSpacesArePostedAgain) {
  const char* reasons[] = {"Checksum mismatched", "checksum mismatched", "Checksum  mismatched",
                           "Checksum mismatched"};
  size_t expected = 0;
  for (const char* reason : reasons) {
    RunState run;
    startRun(run);
    run.failureReason = reason;
    fncPostExecutionStatus(run, fake.platform);
    expected += 2;
    EXPECT_EQ(fake.webPost.calls.size(), expected) << reason;
    EXPECT_EQ(fake.webPost.calls.back().xml, failureXml(reason, kNoTemplate));
  }
}

TEST_F(StatusReportTest, ARunWithoutFailureLetsTheNextFailureBePostedAgain) {
  for (const char* reason : {"Boom", "", "Boom"}) {
    RunState run;
    startRun(run);
    run.failureReason = reason;
    fncPostExecutionStatus(run, fake.platform);
  }
  EXPECT_EQ(fake.webPost.calls.size(), 5u);
}

TEST_F(StatusReportTest, AnUnwritableExecutionStateFilePostsTheSameFailureAgain) {
  fake.profile.failWrite = Status{kErrorPathNotFound, "The system cannot find the path specified."};
  for (int run = 0; run < 2; ++run) {
    RunState r;
    startRun(r);
    r.failureReason = "Boom";
    size_t before = logLines().size();
    EXPECT_TRUE(fncPostExecutionStatus(r, fake.platform));
    EXPECT_EQ(logLines(before).size(), 6u);  // three lines per post, nothing else
  }
  EXPECT_EQ(fake.webPost.calls.size(), 4u);
}

TEST_F(StatusReportTest, AFailedPostLeavesTheReportInThePostLogsFolder) {
  fake.webPost.fail("Failed to connect", "", "");
  fake.clock.time = LocalTime{2024, 3, 2, 14, 3, 7};
  rs.failureReason = "Boom";
  EXPECT_TRUE(report());

  const std::string statusName = "wpdcmscctmpevtlgst_N_4711_030220241403077.xml";
  const std::string failureName = "wpdcmscctmpevtlgfail_N_4711_030220241403077.xml";
  EXPECT_THAT(spooled(), ElementsAre(failureName, statusName));
  EXPECT_EQ(fake.files.content("/agent\\SCCPostLogs\\" + statusName),
            statusXml("0", kNoTemplate) + "\r\n");
  EXPECT_EQ(fake.files.content("/agent\\SCCPostLogs\\" + failureName),
            failureXml("Boom", kNoTemplate) + "\r\n");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[2], "ERR : WebPost Failed : Failed to connect::");
  EXPECT_EQ(log[3], "MSG : Creating File /agent\\\\SCCPostLogs\\" + statusName);
  EXPECT_EQ(log[7], "MSG : Creating File /agent\\\\SCCPostLogs\\" + failureName);
  // Recorded before the post, so the next run does not post it again.
  EXPECT_EQ(lastFailure("Reason"), "Boom");
}

TEST_F(StatusReportTest, AFailedFileWriteSkipsTheRest) {
  fake.webPost.failCreation();
  fake.files.fail = [](const std::string& op, const std::string& path) {
    return op == "createFileAside" && path.find("SCCPostLogs") != std::string::npos
               ? runtimeError(kErrPermissionDenied)
               : Status::success();
  };
  rs.failureReason = "Boom";
  EXPECT_FALSE(report());
  EXPECT_EQ(fake.webPost.creations, 2);  // the status report only, tried after registration
  EXPECT_EQ(logLines().back(), "ERR : fncPostExecutionStatus, Permission denied");
  EXPECT_EQ(fake.profile.writeCount, 0);

  fake.files.fail = nullptr;
  fake.files.folders.erase("/agent/SCCPostLogs");
  rs.failureReason = "";
  rs.totalEventCount = 99;
  EXPECT_FALSE(report());
  EXPECT_EQ(logLines().back(), "ERR : fncPostExecutionStatus, Path not found");
  EXPECT_EQ(rs.failureReason, "");  // the threshold test was skipped
}

// A kept report is written aside and renamed when whole: a disk that fills up while it is
// written leaves nothing in the post-logs folder, not an empty or partial file.
TEST_F(StatusReportTest, AKeptReportThatCannotBeWrittenWholeLeavesNothing) {
  fake.webPost.failCreation();
  fake.files.fail = [](const std::string& op, const std::string& path) {
    return op == "close" && path.find("SCCPostLogs") != std::string::npos
               ? runtimeError(kErrDiskFull)
               : Status::success();
  };
  EXPECT_FALSE(report());
  EXPECT_EQ(logLines().back(), "ERR : fncPostExecutionStatus, Disk full");
  for (const auto& [path, file] : fake.files.files) {
    EXPECT_FALSE(path.starts_with("/agent/SCCPostLogs/")) << path;
  }
}

TEST_F(StatusReportTest, WithoutServerSettingsBothReportsAreKept) {
  fake.files.files.erase(FakeFileSystem::normalise(kSettings));
  fake.webPost.fail("No URL to post to", "", "");
  rs.failureReason = "Boom";
  EXPECT_TRUE(report());
  EXPECT_THAT(fake.webPost.urls(),
              ElementsAre("", "tfr_wpdcmscctmpevtlgfail.asp?mmid=11&sid=22&rid=4711&rty=3"));
  EXPECT_EQ(spooled().size(), 2u);
}

TEST_F(StatusReportTest, TheFailureUrlFallsBackToTheServerUrlOfTheRegistryInstallation) {
  fake.registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN", "InstallationPath",
                          "D:\\Agent");
  fake.files.addFile(kSettings, "[wpdcmodjobexestsins]\r\nURL=http://srv/base/\r\n");
  fake.files.addFile("D:\\Agent\\Configuration\\qScriptDNS.ini",
                     "[wpdcmscctmpevtlgfail]\r\nURL=http://other/pages\r\n");
  rs.failureReason = "Boom";
  report();
  EXPECT_THAT(
      fake.webPost.urls(),
      ElementsAre(kStatusUrl,
                  "http://other/pages/tfr_wpdcmscctmpevtlgfail.asp?mmid=11&sid=22&rid=4711&rty=3"));
}

TEST_F(StatusReportTest, BaseUrlsGetOneTrailingSlash) {
  struct Case {
    const char* value;
    const char* url;
  } cases[] = {
      {"http://srv/base", "http://srv/base/tfr_"},
      {"http://srv/base/", "http://srv/base/tfr_"},
      {"\"  http://srv/base  \"", "http://srv/base/tfr_"},
      {"\"   \"", "   "},  // a blank value is no base URL and is handed on as read
      {"", ""},
  };
  for (const Case& c : cases) {
    fake.files.addFile(kSettings, std::string("[wpdcmodjobexestsins]\r\nURL=") + c.value + "\r\n");
    fake.webPost.calls.clear();
    RunState run;
    startRun(run);
    fncPostExecutionStatus(run, fake.platform);
    ASSERT_EQ(fake.webPost.calls.size(), 1u);
    std::string url = fake.webPost.calls[0].url;
    EXPECT_EQ(
        url.substr(0, url.find("tfr_") == std::string::npos ? url.size() : url.find("tfr_") + 4),
        c.url)
        << c.value;
  }
}

TEST_F(StatusReportTest, MarkupAndQueryCharactersInValuesAreEscaped) {
  rs.memberId = "A&B<C>";
  rs.siteId = "x y";
  rs.failureReason = "bad ]]> end <here>";
  report();
  ASSERT_EQ(fake.webPost.calls.size(), 2u);
  EXPECT_THAT(fake.webPost.calls[0].xml,
              ::testing::StartsWith("<wpdcmscctmpevtlgst><mmid>A&amp;B&lt;C&gt;</mmid>"));
  EXPECT_THAT(fake.webPost.calls[0].url,
              ::testing::EndsWith("?mmid=A%26B%3CC%3E&sid=x%20y&rid=4711&rty=3"));
  EXPECT_THAT(
      fake.webPost.calls[1].xml,
      ::testing::HasSubstr("<faildesc><![CDATA[bad ]]]]><![CDATA[> end <here>]]></faildesc>"));
}

TEST(StatusReportTextTest, PercentEncodesAllButUnreservedBytes) {
  EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percentEncode("a b&c=d?e/f#g+h%i"), "a%20b%26c%3Dd%3Fe%2Ff%23g%2Bh%25i");
  EXPECT_EQ(percentEncode("\xe9\x01"), "%E9%01");
}

TEST(StatusReportTextTest, TheSpoolStampRepeatsTheSecondWithoutItsLeadingZero) {
  EXPECT_EQ(spoolStamp(LocalTime{2024, 3, 2, 14, 3, 7}), "030220241403077");
  EXPECT_EQ(spoolStamp(LocalTime{2026, 12, 31, 23, 59, 42}),
            "12312026235942"
            "42");
  EXPECT_EQ(spoolStamp(LocalTime{2026, 1, 1, 0, 0, 0}), "010120260000000");
  EXPECT_EQ(spoolStamp(LocalTime{2026, 1, 1, 0, 0, 5}),
            "01012026000005"
            "5");
}

}  // namespace
}  // namespace sccevtmon
