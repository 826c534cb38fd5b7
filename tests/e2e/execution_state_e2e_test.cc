#include <gtest/gtest.h>

#include "e2e_support.h"

namespace sccevtmon::e2e {
namespace {

const char kIni[] = "qSCC/MonitorTemplate/SCC_EventLog_Execution.ini";

std::string oneLogTemplate(const std::string& log) {
  return "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/><dcm scriptid=\"1\" scriptver=\"1\">"
         "<evntlgsourcestr>" +
         log +
         "</evntlgsourcestr><evnttype>0</evnttype><outputopt>2</outputopt></dcm>"
         "</dcmevntlgtemplat>";
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

}  // namespace
}  // namespace sccevtmon::e2e
