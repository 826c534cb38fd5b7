#include "run/check_files.h"

#include <gtest/gtest.h>

#include <functional>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

const char kInstall[] = "/agent\\";

// What the check says of each thing in the way of what a run writes.
TEST(CheckFilesTest, NamesEveryFileAndFolderARunCannotWrite) {
  const std::string atStart = "a run ends at start-up and the hours pass unreported";
  const std::string lastRun =
      "every run ends with \"ERR : Failed to save the exe's last execution time\" and sends the "
      "same hours again";
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> setUp;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"fresh installation", [](FakePlatform&) {}, {}},
      {"a file named SCCPostLogs",
       [](FakePlatform& f) { f.files.addFile("/agent/SCCPostLogs", ""); },
       {"post-logs folder /agent/SCCPostLogs is a file where a run needs a folder: a run ends at "
        "start-up when it cannot create it, and cannot hand over its report files when it cannot "
        "write in it; remove it or move it away"}},
      {"a file named ApplicationLog",
       [](FakePlatform& f) { f.files.addFile("/agent/ApplicationLog", ""); },
       {"activity-log folder /agent/ApplicationLog is a file where a run needs a folder: " +
        atStart + "; remove it or move it away"}},
      {"a folder where the lock must be",
       [](FakePlatform& f) { f.files.addFolder("/agent/sccevtmon.lock"); },
       {"lock file /agent/sccevtmon.lock is a folder where a run needs a plain file: " + atStart +
        "; remove it or move it away"}},
      {"a link as the lock",
       [](FakePlatform& f) { f.files.others.insert("/agent/sccevtmon.lock"); },
       {"lock file /agent/sccevtmon.lock is a link or special file where a run needs a plain "
        "file: " +
        atStart + "; remove it or move it away"}},
      {"a link as the activity log",
       [](FakePlatform& f) {
         f.files.addFolder("/agent/ApplicationLog/qSCCLog");
         f.files.others.insert("/agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt");
       },
       {"activity log /agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt is a link or special "
        "file where a run needs a plain file: " +
        atStart + "; remove it or move it away"}},
      {"a lock this user cannot open",
       [](FakePlatform& f) {
         f.files.addFile("/agent/sccevtmon.lock", "");
         f.files.files["/agent/sccevtmon.lock"].readOnly = true;
       },
       {"lock file /agent/sccevtmon.lock cannot be written by this user: " + atStart +
        "; give the account the runs use write access to it"}},
      {"an execution state this user cannot write",
       [](FakePlatform& f) {
         f.files.addFolder("/agent/qSCC/MonitorTemplate");
         f.files.addFile("/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini", "");
         f.files.files["/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"].readOnly = true;
       },
       {"execution-state file /agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini cannot be "
        "written by this user: " +
        lastRun + "; give the account the runs use write access to it"}},
      {"root checks the service's installation after a run as root",
       [](FakePlatform& f) {
         f.process.superuser = true;
         f.files.owners["/agent"] = "sccevtmon";
         f.files.addFolder("/agent/qSCC/MonitorTemplate");
         f.files.addFile("/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini", "");
         f.files.owners["/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"] = "root";
         f.files.addFile("/agent/sccevtmon.lock", "");
         f.files.owners["/agent/sccevtmon.lock"] = "sccevtmon";
       },
       {"execution-state file /agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini belongs to "
        "root, not to sccevtmon (left by a run as root?): " +
        lastRun + "; chown sccevtmon: /agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"}},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.files.addFolder("/agent");
    c.setUp(f);
    std::vector<std::string> errors;
    for (const Finding& finding : checkWrittenFiles(f.platform, kInstall, "4711")) {
      if (finding.severity == Severity::kError) errors.push_back(finding.text);
    }
    EXPECT_EQ(errors, c.errors) << c.name;
  }
}

TEST(CheckFilesTest, RootSaysItsAnswersAreRootsAndNamesTheOwnersCommand) {
  FakePlatform f;
  f.files.addFolder("/agent");
  f.files.owners["/agent"] = "sccevtmon";
  f.process.superuser = true;
  std::vector<Finding> findings = checkWrittenFiles(f.platform, kInstall, "4711");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].severity, Severity::kWarning);
  EXPECT_EQ(findings[0].text,
            "this check runs as root, but the installation folder /agent belongs to sccevtmon: "
            "its answers are root's, who may write where sccevtmon's runs cannot; run it as the "
            "owner: sudo -u sccevtmon sccevtmon --check");
  // Root's own installation, or a user's check of it, says nothing of the kind.
  f.files.owners["/agent"] = "root";
  EXPECT_TRUE(checkWrittenFiles(f.platform, kInstall, "4711").empty());
}

TEST(CheckFilesTest, ReadsSettingsAsARunDoesAndSuggestsNearlyRightSections) {
  const char* server = "/agent/Configuration/qScriptDNS.ini";
  auto utf16 = [](const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
  };
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> findings;
  };
  const std::string good = "[wpdcmodjobexestsins]\r\nURL=x\r\n[WPDCMSCCTMPEVTLGFAIL]\r\nURL=y\r\n";
  const Case cases[] = {
      {"good, any letter case", good, {}},
      {"one letter short",
       "[wpdcmodjobexestsin]\r\nURL=x\r\n[wpdcmscctmpevtlgfail] trailing\r\nURL=y\r\n",
       {"error: server settings /agent/Configuration/qScriptDNS.ini: a run reads no section "
        "[wpdcmodjobexestsins], but there is [wpdcmodjobexestsin]: did you mean "
        "[wpdcmodjobexestsins]?"}},
      {"another section altogether", "[other]\r\nURL=x\r\n", {}},
      {"UTF-16",
       utf16(good),
       {"ok: server settings /agent/Configuration/qScriptDNS.ini is UTF-16 with a byte-order "
        "mark, which a run reads as Windows does"}},
      {"UTF-16 and misspelt",
       utf16("[wpdcmscctmpevtlgfal]\r\n"),
       {"ok: server settings /agent/Configuration/qScriptDNS.ini is UTF-16 with a byte-order "
        "mark, which a run reads as Windows does",
        "error: server settings /agent/Configuration/qScriptDNS.ini: a run reads no section "
        "[wpdcmscctmpevtlgfail], but there is [wpdcmscctmpevtlgfal]: did you mean "
        "[wpdcmscctmpevtlgfail]?"}},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.files.addFolder("/agent/Configuration");
    f.files.addFile(server, c.content);
    std::vector<std::string> lines;
    for (const Finding& finding : checkSettingsSections(f.platform, kInstall)) {
      lines.push_back(findingLine(finding));
    }
    EXPECT_EQ(lines, c.findings) << c.name;
  }
}

TEST(CheckFilesTest, NamesALogNameOutsideWindows1252) {
  const std::string tmpl =
      "<dcmevntlgtemplat><dcm><evntlgsourcestr> System </evntlgsourcestr></dcm>"
      "<dcm><evntlgsourcestr>Caf\xC3\xA9</evntlgsourcestr></dcm>"
      "<dcm><evntlgsourcestr>\xD0\x96urnal</evntlgsourcestr></dcm></dcmevntlgtemplat>";
  std::vector<std::string> lines;
  for (const Finding& finding : checkLogNamesOutsideCodePage(tmpl)) {
    lines.push_back(findingLine(finding));
  }
  EXPECT_EQ(lines, std::vector<std::string>{
                       "error: event log \"\xD0\x96urnal\" of the template holds characters "
                       "outside Windows-1252, the monitor's text: a run looks for \"?urnal\" and "
                       "never finds it; name the log as Windows-1252 can write it"});
}

}  // namespace
}  // namespace sccevtmon
