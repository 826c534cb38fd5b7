#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"

namespace sccevtmon::e2e {
namespace {

const char kIni[] = "qSCC/MonitorTemplate/SCC_EventLog_Execution.ini";

// One rendered event of the System log, as an export writes it.
std::string systemEvent(int id, const std::string& utc) {
  return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
         "<Provider Name=\"Disk\"/><EventID>" +
         std::to_string(id) +
         "</EventID><Level>2</Level><Task>0</Task><Keywords>0x80000000000000</Keywords>"
         "<TimeCreated SystemTime=\"" +
         utc +
         "\"/><EventRecordID>1</EventRecordID><Channel>System</Channel><Computer>pc</Computer>"
         "</System><RenderingInfo Culture=\"en-US\"><Message>Bad block.</Message>"
         "</RenderingInfo></Event>\r\n";
}

// A template of one entry that reports every event of log in detail.
std::string oneLogTemplate(const std::string& log) {
  return "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/><dcm scriptid=\"1\" scriptver=\"1\">"
         "<evntlgsourcestr>" +
         log +
         "</evntlgsourcestr><evnttype>0</evnttype><outputopt>2</outputopt></dcm>"
         "</dcmevntlgtemplat>";
}

// The value of a key line of the execution-state file, or "<none>".
std::string iniValue(const std::string& ini, const std::string& key) {
  size_t at = ini.find("\r\n" + key + "=");
  if (at == std::string::npos) return "<none>";
  at += key.size() + 3;
  return ini.substr(at, ini.find("\r\n", at) - at);
}

// A LastRun that cannot open a window is reported once, the run extracts the last hour and
// writes a good LastRun, and the next run is normal. Up to 24 clock hours ahead the run is
// refused as before.
TEST(ExecutionStateE2eTest, AnUnusableLastRunIsReportedAndTheNextRunIsNormal) {
  struct Case {
    const char* lastRun;
    const char* reason;
    const char* line;  // the error line, nullptr when the run is refused
  } cases[] = {
      {"yesterday", "Failed to get the exe's last execution time. Type mismatch",
       "ERR : in fncChkLastRunTime : 13Type mismatch"},
      {"03/09/2026 15:00:00",
       "Last execution time 03/09/2026 15:00:00 lies more than 24 hours ahead of the clock.",
       "ERR : in fncChkLastRunTime : Last execution time 03/09/2026 15:00:00 lies more than 24 "
       "hours ahead of the current time 03/07/2026 14:05:09, the last hour is extracted"},
      {"03/08/2026 14:59:59", "Last exection is less than an hour.", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastRun);
    ReportingAgent agent;
    agent.inst.writeTemplate(oneLogTemplate("System"));
    agent.inst.write("EventLogs/System.xml", systemEvent(7, "2026-03-07T13:10:00.000Z") +
                                                 systemEvent(8, "2026-03-07T14:30:00.000Z"));
    agent.inst.write(kIni, std::string("[LastRunDateTime]\r\nLastRun=") + c.lastRun + "\r\n");

    agent.run("2026-03-07 14:05:09");
    EXPECT_EQ(agent.failures(), std::vector<std::string>{c.reason});
    std::string ini = agent.inst.read(kIni);
    if (c.line == nullptr) {
      EXPECT_EQ(iniValue(ini, "LastRun"), c.lastRun);
      continue;
    }
    EXPECT_TRUE(agent.logged(c.line));
    EXPECT_TRUE(agent.logged("MSG : Events will be extracted for last 1 HOURS"));
    EXPECT_TRUE(agent.inst.exists("SCCPostLogs/wpevntdumpdsk_Y_4711_03072026140509.xml"));
    EXPECT_EQ(iniValue(ini, "LastRun"), "03/07/2026 14:05:09");

    agent.run("2026-03-07 15:00:01");
    EXPECT_EQ(agent.statuses(), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(agent.failures().size(), 1u);
    EXPECT_TRUE(agent.inst.exists("SCCPostLogs/wpevntdumpdsk_Y_4711_03072026150001.xml"));
    EXPECT_EQ(iniValue(agent.inst.read(kIni), "Reason"), "");
  }
}

// [LastFailure] keeps one line per key, and the next run recognises the same failure: one
// whose reason spans lines, and one longer than the read gives back.
TEST(ExecutionStateE2eTest, ARepeatedFailureIsRecognisedWhateverItsLineBreaksOrLength) {
  struct Case {
    const char* what;
    std::string log;  // as the template writes it
    std::string name;
  } cases[] = {
      {"CR LF", "Missing&#13;&#10;Log", "Missing\r\nLog"},
      {"LF", "Missing\nLog", "Missing\nLog"},
      {"long", std::string(600, 'L'), std::string(600, 'L')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportingAgent agent;
    agent.inst.writeTemplate(oneLogTemplate(c.log));
    const std::string reason = "440 Err DescriptionThe specified event log " + c.name +
                               " was not found in " + agent.inst.path("EventLogs");
    std::string stored = reason;
    for (const char* lineBreak : {"\r\n", "\n"}) {
      for (size_t at; (at = stored.find(lineBreak)) != std::string::npos;) {
        stored.replace(at, std::string(lineBreak).size(), " ");
      }
    }

    agent.run("2026-03-07 14:05:09");
    agent.run("2026-03-07 15:10:00");
    EXPECT_EQ(agent.failures(), std::vector<std::string>{reason});
    EXPECT_TRUE(agent.logged("MSG : Same Failure occured, so failure webpost will not be send"));
    EXPECT_EQ(agent.inst.read(kIni),
              "[Threshold]\r\nEventDetails=50\r\n"
              "[LastRunDateTime]\r\nLastRun=03/07/2026 15:10:00\r\n"
              "[LastFailure]\r\nReason=" +
                  stored + "\r\nExecutedOn=03/07/2026 15:10:00\r\n");
  }
}

// An execution-state file a run cannot write (left by a run as root, say) fails the run
// instead of sending the same hour at every run in silence.
TEST(ExecutionStateE2eTest, ALastRunThatCannotBeWrittenFailsTheRun) {
  ReportingAgent agent;
  agent.inst.writeTemplate(oneLogTemplate("System"));
  agent.inst.write("EventLogs/System.xml", systemEvent(7, "2026-03-07T13:10:00.000Z"));
  agent.inst.write(kIni, "[LastRunDateTime]\r\nLastRun=03/07/2026 13:00:00\r\n");
  std::filesystem::permissions(agent.inst.path(kIni), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::group_read |
                                                          std::filesystem::perms::others_read);
  agent.run("2026-03-07 14:05:09");
  const std::string why = "Failed to save the exe's last execution time. Access is denied. (" +
                          agent.inst.path(kIni) + ")";
  EXPECT_EQ(agent.failures(), std::vector<std::string>{why});
  EXPECT_TRUE(agent.logged("ERR : " + why));
  EXPECT_FALSE(agent.logged("MSG : Updating the " + agent.inst.path("") +
                            "\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini with value : "
                            "03/07/2026 14:05:09"));
  EXPECT_EQ(iniValue(agent.inst.read(kIni), "LastRun"), "03/07/2026 13:00:00");
  // The events themselves went out.
  EXPECT_TRUE(agent.inst.exists("SCCPostLogs/wpevntdumpdsk_Y_4711_03072026140509.xml"));
}

// What an older version left cut short, or anything else under a report file's name, never
// reaches the agent: it is renamed out of the way and named.
TEST(ExecutionStateE2eTest, TheHandOverAtStartUpRejectsWhatIsNotAWholeReport) {
  ReportingAgent agent;
  agent.inst.writeTemplate(oneLogTemplate("System"));
  const std::string leftover = "wpevntdumpdsk_Y_4711_03072026130509.xml";
  agent.inst.write(leftover, "<agtregid>4711</agtregid>\r\n<ROW>\r\n<msg><![CDATA[cut");
  agent.run("2026-03-07 14:05:09");
  const std::string path = agent.inst.path("") + "\\" + leftover;
  EXPECT_TRUE(agent.logged("ERR : The file " + path +
                           " is not a whole report of its kind, renamed to " + path + ".rejected"));
  EXPECT_TRUE(agent.inst.exists(leftover + ".rejected"));
  EXPECT_FALSE(agent.inst.exists(leftover));
  EXPECT_FALSE(agent.inst.exists("SCCPostLogs/" + leftover));
}

}  // namespace
}  // namespace sccevtmon::e2e
