#include <gtest/gtest.h>

#include "e2e_support.h"

namespace sccevtmon::e2e {
namespace {

const char kNow[] = "2026-03-07 14:05:09";
const char kDetailFile[] = "SCCPostLogs/wpevntdumpdsk_Y_4711_03072026140509.xml";

// One rendered event of the System log, as an export writes it.
std::string event(const std::string& provider, int id, const std::string& utc) {
  return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
         "<Provider Name=\"" +
         provider + "\"/><EventID>" + std::to_string(id) +
         "</EventID><Level>2</Level><Task>0</Task><Keywords>0x80000000000000</Keywords>"
         "<TimeCreated SystemTime=\"" +
         utc +
         "\"/><EventRecordID>1</EventRecordID><Channel>System</Channel><Computer>pc</Computer>"
         "</System><RenderingInfo Culture=\"en-US\"><Message>Event " +
         std::to_string(id) + ".</Message></RenderingInfo></Event>\r\n";
}

const std::string kEvents = event("Disk", 7, "2026-03-07T13:10:00.000Z") +
                            event("Ntfs", 55, "2026-03-07T13:20:00.000Z") +
                            event("Ntfs", 98, "2026-03-07T13:30:00.000Z");

// A template of one entry that reports every event of log in detail; extra adds child elements
// to the entry.
std::string oneEntryTemplate(const std::string& log, const std::string& extra = "") {
  return "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/><dcm scriptid=\"1\" scriptver=\"1\">"
         "<evntlgsourcestr>" +
         log + "</evntlgsourcestr><evnttype>0</evnttype>" + extra +
         "<outputopt>2</outputopt></dcm></dcmevntlgtemplat>";
}

TEST(InputsE2eTest, ALogFileThatIsNotAnExportFailsItsPass) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* why;  // nullptr: an empty log
  } cases[] = {
      {"plain text", "The service started.\r\n", "it holds text outside any element"},
      {"a truncated root", "<?xml version=\"1.0\"?>\r\n<Events>\r\n<Eve", ""},
      {"a document of another kind", "<html><body>System</body></html>",
       "its root element is html, not Events"},
      {"0 bytes", "", nullptr},
      {"an export without events", "<?xml version=\"1.0\"?>\r\n<Events>\r\n</Events>\r\n", nullptr},
      {"a bare sequence without events", "\r\n<!-- none -->\r\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportingAgent agent;
    agent.inst.writeTemplate(oneEntryTemplate("System"));
    agent.inst.write("EventLogs/System.xml", c.bytes);
    agent.run(kNow);
    if (c.why == nullptr) {
      EXPECT_TRUE(agent.logged("MSG : total records :: 0"));
      EXPECT_EQ(agent.statuses(), std::vector<std::string>{"1"});
      EXPECT_TRUE(agent.failures().empty());
      continue;
    }
    const std::string reason = "440 Err DescriptionThe event log file " +
                               agent.inst.path("EventLogs/System.xml") +
                               " is not an event log export: " + c.why;
    EXPECT_FALSE(agent.inst.activityLog().find("\tMSG : total records :: ") != std::string::npos);
    EXPECT_EQ(agent.statuses(), std::vector<std::string>{"0"});
    ASSERT_EQ(agent.failures().size(), 1u);
    EXPECT_EQ(agent.failures()[0].substr(0, reason.size()), reason);
    EXPECT_NE(agent.inst.activityLog().find("\tERR : fncCreateRecordSet() " + reason),
              std::string::npos);
  }
}

TEST(InputsE2eTest, SourceAndIdPairsMatchWithBlanksBeforeTheSource) {
  ReportingAgent agent;
  agent.inst.writeTemplate(
      oneEntryTemplate("System", "<evntsourandid>Ntfs;55##  Disk;7</evntsourandid>"));
  agent.inst.write("EventLogs/System.xml", kEvents);
  agent.run(kNow);
  EXPECT_TRUE(agent.logged("Adding Ntfs:55"));
  EXPECT_TRUE(agent.logged("Adding Disk:7"));
  std::string detail = agent.inst.read(kDetailFile);
  EXPECT_NE(detail.find("<evtsrc><![CDATA[Disk]]></evtsrc>"), std::string::npos) << detail;
  EXPECT_NE(detail.find("<evtsrc><![CDATA[Ntfs]]></evtsrc>"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("<evtid><![CDATA[98]]></evtid>"), std::string::npos) << detail;
}

// Nothing is expanded: a template that needs an entity, or would carry a NUL, does not load.
TEST(InputsE2eTest, ATemplateThatIsNotWellFormedFailsToLoad) {
  struct Case {
    const char* what;
    std::string xml;
  } cases[] = {
      {"undefined entity", oneEntryTemplate("System", "<evntdesc>caf&eacute;</evntdesc>")},
      {"declared entity",
       "<!DOCTYPE dcmevntlgtemplat [<!ENTITY log \"System\">]>" + oneEntryTemplate("&log;")},
      {"NUL character reference", oneEntryTemplate("System&#0;Archive")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportingAgent agent;
    agent.inst.writeTemplate(c.xml);
    agent.inst.write("EventLogs/System.xml", kEvents);
    agent.run(kNow);
    EXPECT_TRUE(agent.logged("ERR : Failed to load xml file, " + agent.inst.path() +
                             "\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml"));
    EXPECT_EQ(agent.inst.activityLog().find("MSG : @@@@@@@@@@@ Event Source"), std::string::npos);
    EXPECT_EQ(agent.statuses(), std::vector<std::string>{"0"});
    EXPECT_EQ(agent.failures(), std::vector<std::string>{"Failed to load the xml file"});
  }
}

// The installation folder and the log name hold letters outside ASCII: the registry and the
// template give them as Windows-1252 text, the file system names them in UTF-8.
TEST(InputsE2eTest, NamesOutsideAsciiAreFoundOnDisk) {
  ReportingAgent agent;
  const std::string folder = "Agent \xC3\x9C";  // "Agent U-umlaut" in UTF-8
  const std::string log =
      "S\xC3\xA9"
      "curit\xC3\xA9";  // "Securite" with acute accents
  const std::string xml = oneEntryTemplate(log);
  agent.inst.write(folder + "/qSCC/MonitorTemplate/SCCEventLogTemplate.xml", xml);
  agent.inst.write(folder + "/EventLogs/" + log + ".xml", kEvents);
  agent.inst.write(folder + "/Configuration/qScriptDNS.ini",
                   agent.inst.read("Configuration/qScriptDNS.ini"));
  agent.inst.writeRegistry({{"InstallationPath", agent.inst.path(folder)}, {"EVENT", md5Hex(xml)}});
  RunResult r = agent.run(kNow);
  EXPECT_EQ(r.err, "");

  const std::string log1252 =
      "S\xE9"
      "curit\xE9";
  const std::string activity =
      agent.inst.read(folder + "/ApplicationLog/qSCCLog/sccevtmon_4711.txt");
  EXPECT_NE(
      activity.find("\tMSG : TORV installation path : " + agent.inst.path() + "/Agent \xDC\\\r\n"),
      std::string::npos);
  EXPECT_NE(activity.find("\tMSG : @@@@@@@@@@@ Event Source " + log1252 + "\r\n"),
            std::string::npos);
  EXPECT_NE(activity.find("\tMSG : Record Count without filter conditions :3\r\n"),
            std::string::npos)
      << activity;
  EXPECT_EQ(agent.statuses(), std::vector<std::string>{"1"});
  EXPECT_TRUE(agent.failures().empty());
  EXPECT_TRUE(agent.inst.exists(folder + "/" + kDetailFile));
}

}  // namespace
}  // namespace sccevtmon::e2e
