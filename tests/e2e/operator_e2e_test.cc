// The operator's options of the built program: --check, --replay, and the line a run leaves
// in the journal.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "e2e_support.h"
#include "testing/sample_data.h"
#include "testing/temp_folder.h"

namespace sccevtmon::e2e {
namespace {

using ::testing::HasSubstr;

const char kNow[] = "2026-03-07 14:05:09";

// One rendered event of the System log, as an export writes it.
std::string event(const std::string& provider, int id, int level, const std::string& utc) {
  return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
         "<Provider Name=\"" +
         provider + "\"/><EventID>" + std::to_string(id) + "</EventID><Level>" +
         std::to_string(level) +
         "</Level><Task>0</Task><Keywords>0x80000000000000</Keywords><TimeCreated SystemTime=\"" +
         utc +
         "\"/><EventRecordID>1</EventRecordID><Channel>System</Channel><Computer>pc</Computer>"
         "</System><RenderingInfo Culture=\"en-US\"><Message>Event " +
         std::to_string(id) + ".</Message></RenderingInfo></Event>\r\n";
}

// Events over two days, the most recent an hour before kNow.
const std::string kSystemLog =
    "<Events>\r\n" + event("Disk", 7, 2, "2026-03-06T09:00:00.000Z") +
    event("Ntfs", 55, 3, "2026-03-06T18:30:00.000Z") +
    event("Service Control Manager", 7036, 4, "2026-03-07T08:00:00.000Z") +
    event("Disk", 7, 2, "2026-03-07T12:10:00.000Z") +
    event("Disk", 9, 2, "2026-03-07T13:10:00.000Z") + "</Events>\r\n";

const std::string kTemplate =
    "<?xml version=\"1.0\"?>\r\n<dcmevntlgtemplat>\r\n<template id=\"7\" version=\"2\"/>\r\n"
    "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>1;2</evnttype><evntsource>Disk,Ntfs</evntsource><outputopt>3</outputopt></dcm>\r\n"
    "<dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>0</evnttype><evntsourandid>Service Control Manager;7036</evntsourandid>"
    "<outputopt>1</outputopt></dcm>\r\n</dcmevntlgtemplat>\r\n";

// Every file of a folder tree with its bytes.
std::map<std::string, std::string> snapshot(const Installation& inst) {
  std::map<std::string, std::string> files;
  for (auto& e : std::filesystem::recursive_directory_iterator(inst.path())) {
    std::string relative = std::filesystem::relative(e.path(), inst.path()).string();
    files[relative] = e.is_regular_file() ? inst.read(relative) : "<folder>";
  }
  return files;
}

class OperatorE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.writeRegistry();
    inst.writeTemplate(kTemplate);
    inst.write("EventLogs/System.xml", kSystemLog);
  }
  Installation inst;
};

TEST_F(OperatorE2eTest, CheckOfAGoodMachineFindsNoErrorAndChangesNothing) {
  // Checked, never posted to.
  inst.write("Configuration/qScriptDNS.ini",
             "[wpdcmodjobexestsins]\r\nURL=https://server.example/r/\r\n"
             "[wpdcmscctmpevtlgfail]\r\nURL=https://server.example/r/\r\n");
  const auto before = snapshot(inst);
  RunResult r = inst.run(kNow, {"--check"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_THAT(r.out, HasSubstr("ok: registry: agent identity in "
                               "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN of the registry "
                               "file " +
                               inst.registryFile() + "\n"));
  const std::string templatePath = inst.path("qSCC/MonitorTemplate/SCCEventLogTemplate.xml");
  EXPECT_THAT(r.out, HasSubstr("ok: template MD5 " + md5Hex(kTemplate) + " matches EVENT (md5sum " +
                               templatePath + " computes it)\n"));
  EXPECT_THAT(r.out, HasSubstr("ok: event log \"System\" (entry 1, entry 2): " +
                               inst.path("EventLogs/System.xml") +
                               ", 5 records, 1 in the window a run now reads\n"));
  EXPECT_THAT(r.out, HasSubstr("\nsccevtmon --check: 0 errors, 0 warnings\n"));
  EXPECT_EQ(r.out.find("error:"), std::string::npos);
  EXPECT_EQ(snapshot(inst), before);
}

// Mistakes found through the real registry file, checksum, event-log folder and engine (the
// rest are the unit tests').
TEST_F(OperatorE2eTest, CheckCatchesTheCommonMistakes) {
  struct Case {
    const char* what;
    std::function<void(Installation&)> make;
    std::string line;
  } cases[] = {
      {"REGID 0",
       [](Installation& i) {
         i.writeRegistry({{"REGID", "0"}});
       },
       "error: REGID \"0\" is not a non-zero number: a run writes \"MSG : Invalid RegId\" into "},
      {"EVENT mismatch",
       [](Installation& i) {
         i.writeRegistry({{"EVENT", "00000000000000000000000000000000"}});
       },
       "error: template MD5 " + md5Hex(kTemplate) +
           " differs from EVENT 00000000000000000000000000000000"},
      {"missing event log",
       [](Installation& i) {
         std::filesystem::rename(i.path("EventLogs/System.xml"), i.path("EventLogs/Sys.xml"));
       },
       ": a run reports it as its failure; export the log into the event-log folder, which holds "
       "Sys\n"},
      {"log file that is no export",
       [](Installation& i) { i.write("EventLogs/System.xml", "The service started.\r\n"); },
       "is not an event log export: it holds text outside any element: a run reports it as its "
       "failure; export the log again\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation i;
    i.writeRegistry();
    i.writeTemplate(kTemplate);
    i.write("EventLogs/System.xml", kSystemLog);
    c.make(i);
    RunResult r = i.run(kNow, {"--check"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr(c.line));
  }
}

// A replay over a window, days later, gives the very report files a run over that window gave,
// and leaves the installation as it found it.
TEST_F(OperatorE2eTest, ReplayWritesWhatARunOfTheSameWindowHandsOver) {
  const std::string lastRun = "03/06/2026 15:00:00";
  inst.write("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
             "[LastRunDateTime]\r\nLastRun=" + lastRun + "\r\n");
  const auto before = snapshot(inst);
  // Outside the installation: a replay may not write where the agent or the next run would
  // take its files for real reports.
  TempFolder replayed;
  const std::string out = replayed.path();
  RunResult replay = inst.run("2026-03-10 09:00:00", {"--replay", "--from", "2026-03-06 15:00:00",
                                                      "--to", kNow, "--out", out});
  EXPECT_EQ(replay.exitCode, 0) << replay.err;
  EXPECT_EQ(replay.err, "");
  EXPECT_EQ(
      replay.out,
      "window 03/06/2026 15:00:00 to 03/07/2026 14:05:09, template id 7 version 2, "
      "threshold 50\n"
      "entry  scriptid  log     found  type  source  id  description  pairs  detail  "
      "summary\n"
      "    1         1  System      4     3       3   3            3      3       3        3\n"
      "    2         2  System      4     4       4   4            4      1       0        1\n"
      "wrote " +
          out + "/wpevntsummdsk_N_4711_03072026140509.xml\nwrote " + out +
          "/wpevntdumpdsk_Y_4711_03072026140509.xml\n");
  EXPECT_EQ(snapshot(inst), before);

  RunResult run = inst.run(kNow);
  EXPECT_EQ(run.exitCode, 0);
  for (const char* name :
       {"wpevntsummdsk_N_4711_03072026140509.xml", "wpevntdumpdsk_Y_4711_03072026140509.xml"}) {
    ASSERT_TRUE(inst.exists(std::string("SCCPostLogs/") + name)) << name;
    EXPECT_EQ(replayed.read(name), inst.read(std::string("SCCPostLogs/") + name)) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out),
                          std::filesystem::directory_iterator()),
            2);
}

TEST(OperatorSamplesE2eTest, ReplayOfARealLogWritesWhatARunOfTheSameWindowHandsOver) {
  const std::string logs = sampleEvtxFolder() + "/logs-a";
  if (!std::filesystem::exists(logs + "/System.evtx")) GTEST_SKIP() << kNeedsSamples;
  Installation inst;
  inst.writeRegistry();
  inst.writeTemplate(
      "<dcmevntlgtemplat><template id=\"3\" version=\"1\"/>"
      "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
      "<evnttype>0</evnttype><outputopt>1</outputopt></dcm>"
      "<dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
      "<evnttype>1;2</evnttype><outputopt>3</outputopt></dcm></dcmevntlgtemplat>");
  inst.write("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
             "[LastRunDateTime]\r\nLastRun=03/14/2012 00:00:00\r\n");
  RunResult run = inst.run("2012-03-15 00:00:00", {}, {{"SCCEVTMON_EVENTLOG_DIR", logs}});
  EXPECT_EQ(run.exitCode, 0);
  TempFolder replayed;
  RunResult replay =
      inst.run("", {"--replay", "--from", "2012-03-14 00:00:00", "--to", "2012-03-15 00:00:00",
                    "--out", replayed.path(), "--logs", logs});
  EXPECT_EQ(replay.exitCode, 0) << replay.err;
  std::vector<std::string> handedOver = inst.list("SCCPostLogs");
  handedOver.erase(std::remove_if(handedOver.begin(), handedOver.end(),
                                  [](const std::string& n) { return n.rfind("wpevnt", 0) != 0; }),
                   handedOver.end());
  ASSERT_FALSE(handedOver.empty());
  for (const std::string& name : handedOver) {
    EXPECT_EQ(replayed.read(name), inst.read("SCCPostLogs/" + name)) << name;
  }
}

TEST_F(OperatorE2eTest, ARunUnderTheJournalSaysWhatItDidInOneLine) {
  Installation plain;
  plain.writeRegistry();
  plain.writeTemplate(kTemplate);
  plain.write("EventLogs/System.xml", kSystemLog);
  RunResult quiet = plain.run(kNow, {}, {{"JOURNAL_STREAM", "1:2"}});
  EXPECT_EQ(quiet.err, "");

  RunResult told = inst.run(kNow, {}, {{"JOURNAL_STREAM", kJournalIsStandardError}});
  EXPECT_EQ(told.exitCode, 0);
  EXPECT_EQ(told.out, "");
  EXPECT_EQ(told.err,
            "sccevtmon: run 03/07/2026 14:05:09 ended: window 03/07/2026 13:05:09 to 03/07/2026 "
            "14:05:09; logs System 1 row (1 detail, 1 summary); report files "
            "wpevntsummdsk_N_4711_03072026140509.xml, wpevntdumpdsk_Y_4711_03072026140509.xml; "
            "status report not posted (No URL to post to), kept in SCCPostLogs\n");
  // What the run wrote is what it writes without the journal.
  EXPECT_EQ(inst.list("SCCPostLogs"), plain.list("SCCPostLogs"));
  std::string log = plain.activityLog();
  for (size_t at; (at = log.find(plain.path())) != std::string::npos;) {
    log.replace(at, plain.path().size(), inst.path());
  }
  EXPECT_EQ(inst.activityLog(), log);

  Installation invalid;
  invalid.writeRegistry({{"REGID", "0"}});
  RunResult refused = invalid.run(kNow, {}, {{"JOURNAL_STREAM", kJournalIsStandardError}});
  EXPECT_EQ(refused.err,
            "sccevtmon: run ended at start-up: REGID \"0\" is not a non-zero number; set REGID in "
            "the registry to the registration ID the server assigned\n");
}

}  // namespace
}  // namespace sccevtmon::e2e
