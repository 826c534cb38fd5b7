#include "run/replay.h"

#include <gmock/gmock.h>

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

TEST(ReplayOptionsTest, NamesWhatIsWrong) {
  const std::vector<std::string> good = {
      "--from", "2026-03-01 00:00:00", "--to", "2026-03-07 14:05:09", "--out", "/out"};
  ReplayOptions options;
  EXPECT_EQ(parseReplayOptions(good, &options), "");
  EXPECT_EQ(options.to, "2026-03-07 14:05:09");
  struct Case {
    std::vector<std::string> args;
    const char* problem;
  } cases[] = {
      {{"--from", "2026-03-01 00:00:00", "--to", "2026-03-07 14:05:09"},
       "--replay needs --from, --to and --out"},
      {{"--from", "2026-03-01", "--to", "2026-03-07 14:05:09", "--out", "/o"},
       "--from 2026-03-01 is not a time YYYY-MM-DD HH:MM:SS"},
      {{"--from", "2026-03-01 00:00:00", "--to", "2026-02-30 00:00:00", "--out", "/o"},
       "--to 2026-02-30 00:00:00 is not a time YYYY-MM-DD HH:MM:SS"},
      {{"--from", "2026-03-08 00:00:00", "--to", "2026-03-07 14:05:09", "--out", "/o"},
       "--from lies after --to"},
      {{"--since", "x"}, "unknown option --since"},
      {{"--from", "2026-03-01 00:00:00", "--out"}, "--out needs a value"},
      {{"--from", "1600-12-31 23:59:59", "--to", "2026-03-07 14:05:09", "--out", "/o"},
       "--from 1600-12-31 23:59:59 lies before the year 1601, the first an event log can hold"},
      {{"--from", "2026-03-01 00:00:00", "--to", "10000-01-01 00:00:00", "--out", "/o"},
       "--to 10000-01-01 00:00:00 lies after the year 9999, the last an event log can hold"},
      {{"--from", "2026-03-01 00:00:00", "--to", "2026-03-07 14:05:09", "--out", "/o",
        "--threshold", "0"},
       "--threshold 0 is not a whole number from 1 to 32767"},
      {{"--from", "2026-03-01 00:00:00", "--to", "2026-03-07 14:05:09", "--out", "/o",
        "--threshold", "32768"},
       "--threshold 32768 is not a whole number from 1 to 32767"},
      {{"--from", "2026-03-01 00:00:00", "--to", "2026-03-07 14:05:09", "--out", "/o",
        "--threshold", "2.5"},
       "--threshold 2.5 is not a whole number from 1 to 32767"},
  };
  for (const Case& c : cases) {
    ReplayOptions o;
    EXPECT_EQ(parseReplayOptions(c.args, &o), c.problem);
  }
}

FakeLogRow row(const char* type, const char* source, const char* id, const char* when) {
  return {{"evttype", std::string(type)},  {"datetime", std::string(when)},
          {"evtsrc", std::string(source)}, {"cat", std::string("None")},
          {"evtid", std::string(id)},      {"msg", std::string("Something happened.")}};
}

class ReplayTest : public RunTest {
 protected:
  void SetUp() override {
    installAgent();
    fake.files.addFolder("/agent/qSCC/MonitorTemplate");
    fake.files.addFile(
        "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml",
        "<dcmevntlgtemplat><template id=\"12\" version=\"3\"/>"
        "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
        "<evnttype>1;2</evnttype><evntsource>Disk</evntsource><outputopt>3</outputopt></dcm>"
        "<dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
        "<evnttype>0</evnttype><evntsourandid>Ntfs;55</evntsourandid><outputopt>1</outputopt>"
        "</dcm><dcm scriptid=\"3\" scriptver=\"1\"><outputopt>1</outputopt></dcm>"
        "<dcm scriptid=\"4\" scriptver=\"1\"><evntlgsourcestr>Missing</evntlgsourcestr>"
        "<outputopt>1</outputopt></dcm></dcmevntlgtemplat>");
    fake.files.addFile("/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
                       "[Threshold]\r\nEventDetails=75\r\n");
    fake.logQuery.byLog["System"].rows = {
        row("Error event", "Disk", "7", "03/01/2026 10:00:00"),
        row("Warning event", "Disk", "9", "03/02/2026 11:00:00"),
        row("Warning event", "Ntfs", "55", "03/03/2026 12:00:00"),
        row("Information event", "Disk", "1", "03/04/2026 13:00:00")};
    options = {"2026-03-01 00:00:00", "2026-03-07 14:00:00", "/out", "", "/exports", ""};
  }
  ReplayOptions options;
  std::vector<std::string> table;
};

TEST_F(ReplayTest, WritesTheReportFilesOfTheWindowAndTellsWhatEachEntryFound) {
  fake.clock.time = {2026, 5, 1, 9, 0, 0};  // the replay's time is the window's end
  fake.logQuery.byLog["System"].skipNotes = {
      "1 record skipped: chunk checksum differs (chunk 2, offset 0x11000)"};
  EXPECT_EQ(runReplay(os, options, &table), 1);
  EXPECT_THAT(
      table,
      ElementsAre(
          "window 03/01/2026 00:00:00 to 03/07/2026 14:00:00, template id 12 version 3, "
          "threshold 75",
          "entry  scriptid  log     found  type  source  id  description  pairs  detail  summary",
          "    1         1  System      4     3       2   2            2      2       2        2",
          "    2         2  System      4     4       4   4            4      1       0        1",
          "entry 3 names no event log",
          "entry 4: log Missing failed: 440 Err DescriptionAutomation error",
          "log System: 1 record skipped: chunk checksum differs (chunk 2, offset 0x11000)",
          "wrote /out/wpevntsummdsk_N_4711_03072026140000.xml",
          "wrote /out/wpevntdumpdsk_Y_4711_03072026140000.xml"));
  EXPECT_EQ(fake.process.errors,
            std::vector<std::string>{
                "sccevtmon: event log Missing: 440 Err DescriptionAutomation error"});
  EXPECT_EQ(fake.logQuery.folder, "/exports");
  EXPECT_EQ(fake.logQuery.queries[0],
            "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
            "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM 'System' WHERE "
            "0=0  AND TimeGenerated Between TIMESTAMP('2026-03-01 00:00:00','yyyy-MM-dd "
            "hh:mm:ss') AND TIMESTAMP('2026-03-07 14:00:00','yyyy-MM-dd hh:mm:ss')");
  EXPECT_THAT(fake.files.content("/out/wpevntsummdsk_N_4711_03072026140000.xml"),
              StartsWith("<wpevntsummdsk>\r\n<regid>4711</regid>\r\n<mntime>03/07/2026 "
                         "14:00:00</mntime>\r\n<ftime>03/01/2026 00:00:00</ftime>\r\n<totime>"
                         "03/07/2026 14:00:00</totime>\r\n<tid>12</tid>\r\n"));
  // Nothing of the installation is written, nothing is posted.
  for (const std::string& op : fake.files.operations) {
    EXPECT_TRUE(op.starts_with("readFile ") || op.find(" /out") != std::string::npos) << op;
  }
  EXPECT_EQ(fake.profile.writeCount, 0);
  EXPECT_EQ(fake.webPost.creations, 0);
}

TEST_F(ReplayTest, KeepsOnlyWhatARunHandsOverAndWarnsOfADifferentChecksum) {
  fake.registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN", "EVENT", "0");
  fake.files.addFile("/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
                     "[Threshold]\r\nEventDetails=1\r\n");
  options.to = "2026-03-01 10:00:00";
  fake.logQuery.byLog.erase("System");
  fake.logQuery.byLog["Missing"].rows = {};
  fake.logQuery.byLog["System"].rows = {row("Error event", "Disk", "7", "03/01/2026 10:00:00"),
                                        row("Error event", "Disk", "7", "03/01/2026 10:00:00")};
  EXPECT_EQ(runReplay(os, options, &table), 0);
  EXPECT_EQ(fake.process.errors,
            std::vector<std::string>{"sccevtmon: warning: the template's MD5 "
                                     "D41D8CD98F00B204E9800998ECF8427E differs from EVENT \"0\": "
                                     "a run would refuse this template"});
  EXPECT_EQ(table.back(), "no detail file: its 2 rows exceed the threshold 1");
  EXPECT_EQ(table[table.size() - 2], "wrote /out/wpevntsummdsk_N_4711_03012026100000.xml");
  EXPECT_FALSE(fake.files.hasFile("/out/wpevntdumpdsk_Y_4711_03012026100000.xml"));
}

// The agent delivers what stands in the post-logs folder and the next run hands over what
// stands in the installation folder: a replay may write in neither.
TEST_F(ReplayTest, RefusesAnOutFolderInTheInstallation) {
  for (const char* out : {"/agent", "/agent/", "/agent\\SCCPostLogs", "/agent/SCCPostLogs/x"}) {
    fake.process.errors.clear();
    options.outFolder = out;
    EXPECT_EQ(runReplay(os, options, &table), 1) << out;
    ASSERT_EQ(fake.process.errors.size(), 1u) << out;
    EXPECT_TRUE(fake.process.errors[0].starts_with("sccevtmon: --out ")) << out;
    EXPECT_NE(fake.process.errors[0].find(" lies in the installation folder /agent"),
              std::string::npos)
        << fake.process.errors[0];
  }
  // A folder whose name only starts like it is another folder (the template's missing log
  // still fails the replay).
  fake.process.errors.clear();
  options.outFolder = "/agentX";
  runReplay(os, options, &table);
  EXPECT_TRUE(fake.files.hasFile("/agentX/wpevntsummdsk_N_4711_03072026140000.xml"));
}

// Someone without an installation replays a template and logs from elsewhere, with their
// own threshold.
TEST_F(ReplayTest, WorksWithoutARegistryFileGivenTemplateLogsAndThreshold) {
  fake.registry.unavailable = "cannot read registry file /etc/reg: No such file or directory";
  fake.registry.failOpen = 2;
  EXPECT_EQ(runReplay(os, options, &table), 1);
  EXPECT_EQ(fake.process.errors,
            std::vector<std::string>{"sccevtmon: cannot read registry file /etc/reg: No such "
                                     "file or directory; without a registry file --replay needs "
                                     "--template and --logs"});
  fake.process.errors.clear();
  options.templateFile = "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml";
  options.threshold = "1";
  runReplay(os, options, &table);
  EXPECT_EQ(fake.process.errors.front(),
            "sccevtmon: warning: cannot read registry file /etc/reg: No such file or directory; "
            "the report files carry no REGID");
  ASSERT_FALSE(table.empty());
  EXPECT_TRUE(table[0].ends_with(", threshold 1")) << table[0];
  EXPECT_TRUE(fake.files.hasFile("/out/wpevntsummdsk_N__03072026140000.xml"));
  EXPECT_FALSE(fake.files.hasFile("/out/wpevntdumpdsk_Y__03072026140000.xml"));  // 2 > 1
}

}  // namespace
}  // namespace sccevtmon
