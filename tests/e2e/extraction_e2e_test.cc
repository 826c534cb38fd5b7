#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"

namespace sccevtmon::e2e {
namespace {

using Lines = std::vector<std::string>;

// One rendered event as an export writes it.
std::string event(const std::string& provider, int id, int level, const std::string& utc,
                  const std::string& message, long recordId) {
  return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
         "<Provider Name=\"" +
         provider + "\"/><EventID Qualifiers=\"16384\">" + std::to_string(id) +
         "</EventID><Level>" + std::to_string(level) +
         "</Level><Task>0</Task><Keywords>0x80000000000000</Keywords><TimeCreated SystemTime=\"" +
         utc + "\"/><EventRecordID>" + std::to_string(recordId) +
         "</EventRecordID><Channel>System</Channel><Computer>pc</Computer></System>"
         "<RenderingInfo Culture=\"en-US\"><Message>" +
         message + "</Message></RenderingInfo></Event>\r\n";
}

const char* kTemplate =
    "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/>"
    "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>Missing</evntlgsourcestr>"
    "<evnttype>0</evnttype><outputopt>3</outputopt></dcm>"
    "<dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>1;2</evnttype><outputopt>3</outputopt></dcm>"
    "<dcm scriptid=\"3\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>0</evnttype><evntsourandid>Service Control Manager;7036</evntsourandid>"
    "<outputopt>1</outputopt></dcm>"
    "</dcmevntlgtemplat>";

class ExtractionE2eTest : public ::testing::Test {
 protected:
  Installation inst;
  void SetUp() override {
    inst.writeRegistry();
    inst.writeTemplate(kTemplate);
    inst.write("EventLogs/System.xml",
               event("Disk", 7, 2, "2026-03-07T13:10:00.000Z", "The device has a bad block.", 1) +
                   event("Ntfs", 55, 3, "2026-03-07T13:20:00.500Z", "Volume is dirty.", 2) +
                   event("Service Control Manager", 7036, 4, "2026-03-07T13:30:00.000Z",
                         "The service entered the running state.", 3) +
                   event("Disk", 7, 2, "2026-03-07T12:00:00.000Z", "Before the window.", 4));
  }
  Lines postLogs() const { return inst.list("SCCPostLogs"); }
  static bool has(const Lines& names, const std::string& prefix) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return n.rfind(prefix, 0) == 0; });
  }
};

TEST_F(ExtractionE2eTest, ReportFilesReachThePostLogsFolder) {
  RunResult r = inst.run("2026-03-07 14:05:09");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  Lines names = postLogs();
  EXPECT_TRUE(has(names, "wpevntsummdsk_N_4711_03072026140509.xml"));
  EXPECT_TRUE(has(names, "wpevntdumpdsk_Y_4711_03072026140509.xml"));
  // Nothing is left in the installation folder.
  for (const std::string& name : inst.list(""))
    EXPECT_EQ(name.rfind("wpevnt", 0), std::string::npos);

  std::string summary = inst.read("SCCPostLogs/wpevntsummdsk_N_4711_03072026140509.xml");
  std::string detail = inst.read("SCCPostLogs/wpevntdumpdsk_Y_4711_03072026140509.xml");
  const std::string head =
      "<wpevntsummdsk>\r\n<regid>4711</regid>\r\n<mntime>03/07/2026 14:05:09</mntime>\r\n"
      "<ftime>03/07/2026 13:05:09</ftime>\r\n<totime>03/07/2026 14:05:09</totime>\r\n"
      "<tid>7</tid>\r\n<tver>2</tver>\r\n<exever>1.0.0.0</exever>\r\n<ROW>\r\n";
  EXPECT_EQ(summary.substr(0, head.size()), head);
  EXPECT_NE(summary.find("<evtsrc><![CDATA[Service Control Manager]]></evtsrc>\r\n<evtid><![CDATA["
                         "7036]]></evtid>\r\n<totalCount><![CDATA[1]]></totalCount>"),
            std::string::npos);
  EXPECT_NE(detail.find("<datetime><![CDATA[03/07/2026 13:20:00]]></datetime>\r\n<evtsrc><![CDATA["
                        "Ntfs]]></evtsrc>\r\n<cat><![CDATA[None]]></cat>\r\n<evtid><![CDATA[55]]>"
                        "</evtid>\r\n<msg><![CDATA[Volume is dirty.]]></msg>"),
            std::string::npos);
  EXPECT_EQ(detail.find("Before the window"), std::string::npos);
  EXPECT_EQ(std::count(detail.begin(), detail.end(), '\n'), 4 + 3 + 2 * 10);

  // The activity log holds the text copies, and the missing log's error.
  std::string log = inst.activityLog();
  EXPECT_NE(log.find("\tMSG : The summary Xml is:-<wpevntsummdsk><regid>4711</regid>"),
            std::string::npos);
  EXPECT_NE(log.find("\tMSG : The Details Xml is:-<agtregid>4711</agtregid>"), std::string::npos);
  EXPECT_NE(log.find("\tERR : fncCreateRecordSet() 440 Err DescriptionThe specified event log "
                     "Missing was not found in " +
                     inst.path("EventLogs")),
            std::string::npos);
  EXPECT_NE(log.find("\tMSG : Total Events generated for the agent is :: 2\r\n"),
            std::string::npos);

  // Without server settings both reports are kept: the failure report names the missing log
  // although the later log was read.
  std::string failure;
  for (const std::string& name : names) {
    if (name.rfind("wpdcmscctmpevtlgfail_N_4711_", 0) == 0)
      failure = inst.read("SCCPostLogs/" + name);
  }
  EXPECT_NE(failure.find("<faildesc><![CDATA[440 Err DescriptionThe specified event log Missing "
                         "was not found in " +
                         inst.path("EventLogs")),
            std::string::npos)
      << failure;
  EXPECT_TRUE(has(names, "wpdcmscctmpevtlgst_N_4711_"));
}

TEST_F(ExtractionE2eTest, DetailFileIsDiscardedOverTheThreshold) {
  inst.write("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
             "[Threshold]\r\nEventDetails=1\r\n");
  inst.run("2026-03-07 14:05:09");
  Lines names = postLogs();
  EXPECT_TRUE(has(names, "wpevntsummdsk_N_"));
  EXPECT_FALSE(has(names, "wpevntdumpdsk_Y_"));
  for (const std::string& name : inst.list(""))
    EXPECT_EQ(name.rfind("wpevnt", 0), std::string::npos);
  EXPECT_NE(
      inst.activityLog().find(
          "\tMSG : Threshold violated, Total Events generated for the entire agent is :: 2\r\n"),
      std::string::npos);
}

TEST_F(ExtractionE2eTest, ASecondRunInTheSameHourIsRefused) {
  inst.run("2026-03-07 14:05:09");
  EXPECT_NE(inst.read("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini")
                .find("LastRun=03/07/2026 14:05:09\r\n"),
            std::string::npos);
  inst.run("2026-03-07 14:55:00");
  EXPECT_NE(inst.activityLog().find("\tLast exection is less than an hour. Last execution time "
                                    "03/07/2026 14:05:09, Current time 03/07/2026 14:55:00\r\n"),
            std::string::npos);
  // An hour later the window runs from the last run.
  inst.run("2026-03-07 15:00:01");
  EXPECT_NE(inst.activityLog().find("\tMSG : Events will be extracted for last 1 HOURS\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace sccevtmon::e2e
