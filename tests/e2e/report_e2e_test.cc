#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "testing/http_receiver.h"

namespace sccevtmon::e2e {
namespace {

using sccevtmon::testing::HttpReceiver;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kNow[] = "2026-03-07 14:05:09";
const char kScanTime[] = "03/07/2026 14:05:09";
const char kQuery[] = "?mmid=11&sid=22&rid=4711&rty=3";
const char kStatusName[] = "wpdcmscctmpevtlgst_N_4711_030720261405099.xml";
const char kFailureName[] = "wpdcmscctmpevtlgfail_N_4711_030720261405099.xml";

std::string statusXml(const std::string& scanTime = kScanTime) {
  return "<wpdcmscctmpevtlgst><mmid>11</mmid><siteid>22</siteid><regid>4711</regid><scandt>" +
         scanTime +
         "</scandt><status>0</status><exever>1.0.0.0</exever><tmpid>0</tmpid><tmpver>0</tmpver>"
         "</wpdcmscctmpevtlgst>";
}

std::string failureXml(const std::string& reason, const std::string& scanTime = kScanTime) {
  return "<wpdcmscctmpevtlgfail><mmid>11</mmid><siteid>22</siteid><regid>4711</regid><scandt>" +
         scanTime + "</scandt><faildesc><![CDATA[" + reason +
         "]]></faildesc><exever>1.0.0.0</exever><tmpid>0</tmpid><tmpver>0</tmpver>"
         "</wpdcmscctmpevtlgfail>";
}

// The messages of an activity log, without their time stamps.
std::vector<std::string> messages(const std::string& log) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    size_t tab = line.find('\t');
    out.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    start = end + 2;
  }
  return out;
}

// The messages that follow the last start-up line, up to the end of the run.
std::vector<std::string> reportMessages(const Installation& inst) {
  std::vector<std::string> all = messages(inst.activityLog());
  auto it = std::find(all.rbegin(), all.rend(), "MSG : Exe version :: 1.0.0.0");
  return std::vector<std::string>(it.base(), all.end());
}

// The messages from the first post of the last run on: what the reports logged.
std::vector<std::string> fromFirstPost(const Installation& inst) {
  std::vector<std::string> run = reportMessages(inst);
  auto first = std::find_if(run.begin(), run.end(), [](const std::string& line) {
    return line.starts_with("MSG : Webposting data :: ");
  });
  return std::vector<std::string>(first, run.end());
}

class ReportE2eTest : public ::testing::Test {
 protected:
  ReportE2eTest() { inst.writeRegistry(); }

  // Server settings naming the receiver: the status base URL without its trailing slash, the
  // failure base URL with one.
  void pointAt(const std::string& base) {
    inst.write("Configuration/qScriptDNS.ini", "[wpdcmodjobexestsins]\r\nURL=" + base +
                                                   "status\r\n"
                                                   "[wpdcmscctmpevtlgfail]\r\nURL=" +
                                                   base + "fail/\r\n");
  }

  // A template whose checksum differs from the registry's: the run stops with that reason
  // whatever the template holds.
  void writeMismatchedTemplate() {
    inst.writeTemplate("<dcmevntlgtemplat/>");
    inst.writeRegistry({{"EVENT", "00000000000000000000000000000000"}});
  }

  RunResult run(const std::string& time = kNow) {
    // Loopback only, whatever proxy the machine names.
    return inst.run(time, {}, {{"no_proxy", "*"}});
  }

  std::vector<std::string> postLogs() const { return inst.list("SCCPostLogs"); }

  Installation inst;
};

TEST_F(ReportE2eTest, PostsBothReportsOfAnEarlyExitToTheConfiguredPages) {
  HttpReceiver receiver;
  receiver.answer(200, "OK", "<ok/>");
  pointAt(receiver.baseUrl());
  std::filesystem::create_directories(inst.path("qSCC/MonitorTemplate"));

  RunResult r = run();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  std::vector<HttpReceiver::Request> requests = receiver.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, std::string("/status/tfr_wpdcmscctmpevtlgst.asp") + kQuery);
  EXPECT_EQ(requests[0].header("Content-Type"), "text/xml");
  EXPECT_EQ(requests[0].body, statusXml());
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].target, std::string("/fail/tfr_wpdcmscctmpevtlgfail.asp") + kQuery);
  EXPECT_EQ(requests[1].body, failureXml("Event Template is missing."));

  const std::string url = receiver.baseUrl();
  EXPECT_THAT(
      reportMessages(inst),
      ElementsAre(
          "MSG : Webposting data :: " + statusXml(),
          "MSG : Webposting Source :: " + url + "status/tfr_wpdcmscctmpevtlgst.asp" + kQuery,
          "MSG : Webpost Received data :: <ok/>",
          "MSG : Webposting data :: " + failureXml("Event Template is missing."),
          "MSG : Webposting Source :: " + url + "fail/tfr_wpdcmscctmpevtlgfail.asp" + kQuery,
          "MSG : Webpost Received data :: <ok/>", "MSG : Application Ended"));
  EXPECT_THAT(postLogs(), IsEmpty());
  EXPECT_EQ(inst.read("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"),
            "[LastFailure]\r\nReason=Event Template is missing.\r\n"
            "ExecutedOn=03/07/2026 14:05:09\r\n");

  // The next run with the same failure reports only its status.
  run("2026-03-07 15:10:00");
  requests = receiver.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].body, statusXml("03/07/2026 15:10:00"));
  std::vector<std::string> second = reportMessages(inst);
  ASSERT_GE(second.size(), 2u);
  EXPECT_EQ(second[second.size() - 2],
            "MSG : Same Failure occured, so failure webpost will not be send");
  EXPECT_EQ(inst.read("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"),
            "[LastFailure]\r\nReason=Event Template is missing.\r\n"
            "ExecutedOn=03/07/2026 15:10:00\r\n");
}

TEST_F(ReportE2eTest, ACompletedRunReportsItsStatusAndAThresholdViolation) {
  auto event = [](int id, const char* utc, int record) {
    return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
           "<Provider Name=\"Disk\"/><EventID>" +
           std::to_string(id) +
           "</EventID><Level>2</Level><Task>0</Task><Keywords>0x80000000000000</Keywords>"
           "<TimeCreated SystemTime=\"" +
           utc + "\"/><EventRecordID>" + std::to_string(record) +
           "</EventRecordID><Channel>System</Channel><Computer>pc</Computer></System>"
           "<RenderingInfo Culture=\"en-US\"><Message>Bad block.</Message></RenderingInfo>"
           "</Event>\r\n";
  };
  struct Case {
    const char* threshold;
    bool violated;
  } cases[] = {{"2", false}, {"1", true}};
  for (const Case& c : cases) {
    Installation fresh;
    fresh.writeRegistry();
    fresh.writeTemplate(
        "<dcmevntlgtemplat><template id=\"7\" version=\"2.50\"/>"
        "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
        "<evnttype>0</evnttype><outputopt>2</outputopt></dcm></dcmevntlgtemplat>");
    fresh.write("EventLogs/System.xml",
                event(7, "2026-03-07T13:10:00.000Z", 1) + event(7, "2026-03-07T13:20:00.000Z", 2));
    fresh.write("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
                std::string("[Threshold]\r\nEventDetails=") + c.threshold + "\r\n");
    HttpReceiver receiver;
    fresh.write("Configuration/qScriptDNS.ini",
                "[wpdcmodjobexestsins]\r\nURL=" + receiver.baseUrl() +
                    "\r\n[wpdcmscctmpevtlgfail]\r\nURL=" + receiver.baseUrl() + "\r\n");
    fresh.run(kNow, {}, {{"no_proxy", "*"}});

    const std::string versions = "<exever>1.0.0.0</exever><tmpid>7</tmpid><tmpver>2.5</tmpver>";
    std::vector<HttpReceiver::Request> requests = receiver.requests();
    ASSERT_EQ(requests.size(), c.violated ? 2u : 1u) << c.threshold;
    EXPECT_EQ(requests[0].body,
              "<wpdcmscctmpevtlgst><mmid>11</mmid><siteid>22</siteid><regid>4711</regid>"
              "<scandt>03/07/2026 14:05:09</scandt><status>1</status>" +
                  versions + "</wpdcmscctmpevtlgst>");
    std::string ini = fresh.read("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini");
    if (c.violated) {
      const std::string reason =
          "Total events generated are 2 which violates the threshold defined as 1";
      EXPECT_EQ(requests[1].target, std::string("/tfr_wpdcmscctmpevtlgfail.asp") + kQuery);
      EXPECT_EQ(requests[1].body,
                "<wpdcmscctmpevtlgfail><mmid>11</mmid><siteid>22</siteid><regid>4711</regid>"
                "<scandt>03/07/2026 14:05:09</scandt><faildesc><![CDATA[" +
                    reason + "]]></faildesc>" + versions + "</wpdcmscctmpevtlgfail>");
      EXPECT_NE(ini.find("[LastFailure]\r\nReason=" + reason + "\r\n"), std::string::npos);
    } else {
      EXPECT_NE(ini.find("[LastFailure]\r\nReason=\r\nExecutedOn=03/07/2026 14:05:09\r\n"),
                std::string::npos);
    }
    EXPECT_EQ(messages(fresh.activityLog()).back(), "MSG : Application Ended");
  }
}

TEST_F(ReportE2eTest, EscapesMarkupAndEncodesTheQuery) {
  HttpReceiver receiver;
  pointAt(receiver.baseUrl());
  inst.writeRegistry({{"MEMBERID", "11<&>"}, {"TYPE", "D T/3"}});
  run();
  std::vector<HttpReceiver::Request> requests = receiver.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target,
            "/status/tfr_wpdcmscctmpevtlgst.asp?mmid=11%3C%26%3E&sid=22&rid=4711&rty=D%20T%2F3");
  EXPECT_THAT(requests[1].body,
              ::testing::StartsWith("<wpdcmscctmpevtlgfail><mmid>11&lt;&amp;&gt;</mmid>"));
}

TEST_F(ReportE2eTest, AServerErrorLeavesBothReportsInThePostLogsFolder) {
  HttpReceiver receiver;
  receiver.answer(500, "Internal Server Error", "try later");
  pointAt(receiver.baseUrl());
  writeMismatchedTemplate();

  RunResult r = run("2024-03-02 14:03:07");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(receiver.requests().size(), 2u);
  const std::string reason = "Checksum mismatched for event log";
  const std::string statusName = "wpdcmscctmpevtlgst_N_4711_030220241403077.xml";
  const std::string failureName = "wpdcmscctmpevtlgfail_N_4711_030220241403077.xml";
  EXPECT_THAT(postLogs(), ElementsAre(failureName, statusName));
  EXPECT_EQ(inst.read("SCCPostLogs/" + statusName), statusXml("03/02/2024 14:03:07") + "\r\n");
  EXPECT_EQ(inst.read("SCCPostLogs/" + failureName),
            failureXml(reason, "03/02/2024 14:03:07") + "\r\n");

  std::vector<std::string> log = fromFirstPost(inst);
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[2], "ERR : WebPost Failed : :HTTP/1.1 500 Internal Server Error:try later");
  EXPECT_EQ(log[3], "MSG : Creating File " + inst.path() + "\\\\SCCPostLogs\\" + statusName);
  EXPECT_EQ(log[6], "ERR : WebPost Failed : :HTTP/1.1 500 Internal Server Error:try later");
  EXPECT_EQ(log[7], "MSG : Creating File " + inst.path() + "\\\\SCCPostLogs\\" + failureName);
  EXPECT_EQ(log[8], "MSG : Application Ended");
}

TEST_F(ReportE2eTest, AnUnreachableServerLeavesBothReportsInThePostLogsFolder) {
  struct Case {
    const char* name;
    HttpReceiver::Mode mode;
    bool listening;
  } cases[] = {
      {"not listening", HttpReceiver::Mode::kAnswer, false},
      {"closing without an answer", HttpReceiver::Mode::kCloseWithoutAnswer, true},
  };
  for (const Case& c : cases) {
    Installation fresh;
    fresh.writeRegistry();
    HttpReceiver receiver;
    receiver.setMode(c.mode);
    const std::string base =
        c.listening ? receiver.baseUrl()
                    : "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/";
    fresh.write("Configuration/qScriptDNS.ini", "[wpdcmodjobexestsins]\r\nURL=" + base +
                                                    "\r\n[wpdcmscctmpevtlgfail]\r\nURL=" + base +
                                                    "\r\n");
    RunResult r = fresh.run(kNow, {}, {{"no_proxy", "*"}});
    EXPECT_EQ(r.exitCode, 0) << c.name;
    EXPECT_EQ(receiver.requests().size(), c.listening ? 2u : 0u) << c.name;
    EXPECT_THAT(fresh.list("SCCPostLogs"), ElementsAre(kFailureName, kStatusName)) << c.name;
    EXPECT_EQ(fresh.read(std::string("SCCPostLogs/") + kFailureName),
              failureXml("Event Template is missing.") + "\r\n");
    std::vector<std::string> log = messages(fresh.activityLog());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "MSG : Application Ended") << c.name;
    int failures = 0;
    for (const std::string& line : log) {
      if (line.starts_with("ERR : WebPost Failed : ")) {
        ++failures;
        EXPECT_GT(line.size(), std::string("ERR : WebPost Failed : ::").size()) << line;
      }
    }
    EXPECT_EQ(failures, 2) << c.name;
  }
}

TEST_F(ReportE2eTest, WithoutServerSettingsNothingReachesTheNetwork) {
  const std::string page = std::string("tfr_wpdcmscctmpevtlgfail.asp") + kQuery;
  for (bool settingsFile : {false, true}) {
    Installation fresh;
    fresh.writeRegistry();
    if (settingsFile) {
      fresh.write("Configuration/qScriptDNS.ini",
                  "[wpdcmodjobexestsins]\r\nURL=\r\n[wpdcmscctmpevtlgfail]\r\nURL=\r\n");
    }
    // Anything that tried the network would end up at this proxy.
    HttpReceiver proxy;
    fresh.run(kNow, {},
              {{"http_proxy", proxy.baseUrl()},
               {"https_proxy", proxy.baseUrl()},
               {"all_proxy", proxy.baseUrl()},
               {"no_proxy", ""}});
    EXPECT_EQ(proxy.connections(), 0);
    std::vector<std::string> log = messages(fresh.activityLog());
    const std::string postLogs = "MSG : Creating File " + fresh.path() + "\\\\SCCPostLogs\\";
    std::vector<std::string> expected = {
        "MSG : Webposting data :: " + statusXml(),
        "MSG : Webposting Source :: ",
        "ERR : WebPost Failed : No URL to post to::",
        postLogs + kStatusName,
        "MSG : Webposting data :: " + failureXml("Event Template is missing."),
        "MSG : Webposting Source :: " + page,
        "ERR : WebPost Failed : Not an http:// or https:// URL: " + page + "::",
        postLogs + kFailureName,
        "MSG : Application Ended"};
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(expected.size()), log.end()),
              expected);
    EXPECT_EQ(fresh.read(std::string("SCCPostLogs/") + kStatusName), statusXml() + "\r\n");
  }
}

}  // namespace
}  // namespace sccevtmon::e2e
