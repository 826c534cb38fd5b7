#include "extract/log_binding.h"
#include "extract/query_builder.h"
#include "extract/record_loading.h"
#include "run/report_files.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using Lines = std::vector<std::string>;

void expectFile(const std::string& actual, const std::string& name) {
  expectGolden(actual, "src/extract/testdata/" + name);
}

FakeLogRow row(const char* type, const char* time, const char* source, const char* id,
               const char* msg, LogValue cat = std::string("None")) {
  return {{"evttype", std::string(type)},  {"datetime", std::string(time)},
          {"evtsrc", std::string(source)}, {"cat", cat},
          {"evtid", std::string(id)},      {"msg", std::string(msg)}};
}

MonitorEntry entry(const char* log, const char* types, const char* option, const char* id = "101") {
  MonitorEntry e;
  e.evntlgsourcestr = log;
  e.evnttype = types;
  e.outputopt = option;
  e.scriptid = id;
  e.scriptver = "2.50";
  return e;
}

class ExtractionTest : public RunTest {
 protected:
  void SetUp() override {
    openLog();
    rs.monitorTime = "03/07/2026 14:05:09";
    rs.fromTime = "03/07/2026 13:05:09";
    rs.toTime = "03/07/2026 14:05:09";
    rs.templateId = "0012";
    rs.templateVersion = "3";
    rs.exeVersion = "1.0.0.0";
    rs.hasEntries = true;
    fake.logQuery.byLog["System"].rows = {
        row("Error event", "03/07/2026 13:10:00", "Disk", "7", "The device has a bad block."),
        row("Warning event", "03/07/2026 13:20:00", "Ntfs", "55",
            "Fix ]]> now? ~yes~\x01\x1f\tend"),
        row("Error event", "2026-03-07 13:30:00", "Disk", "7", "Again a bad block.", std::nullopt),
        row("Error event", "03/07/2026 13:40:00", "disk", "7", "Lower case source.\r\nSecond line"),
    };
  }

  // Runs one extraction pass for a log as the run does, then closes the report files.
  void extract(const std::vector<std::string>& logs) {
    ASSERT_TRUE(createReportFiles(rs, os).ok());
    ASSERT_TRUE(writeTemplateHeaders(rs).ok());
    for (const std::string& log : logs) {
      ASSERT_TRUE(fncCreateLogParserObject(rs, os));
      fncGetAllEventDetails(rs, os, log);
    }
    ASSERT_TRUE(closeReportFiles(rs).ok());
  }
  // The report files as written; they stand aside until the hand-over puts them in place.
  std::string summary() const { return fake.files.content(rs.summaryAsidePath); }
  std::string detail() const { return fake.files.content(rs.detailAsidePath); }
};

TEST_F(ExtractionTest, ReportFilesForEachOutputOption) {
  rs.monitorEntries = {entry("System", "1", "1", "101"), entry("System", "1;2", "2", "102"),
                       entry("System", "0", " 3 ", "0103"), entry("Application", "0", "3", "104")};
  extract({"System"});
  expectFile(summary(), "options_summary.xml");
  expectFile(detail(), "options_detail.xml");
  EXPECT_EQ(rs.summaryFileName, "wpevntsummdsk_N_4711_03072026140509.xml");
  EXPECT_EQ(rs.totalEventCount, 8);
  EXPECT_TRUE(rs.hasSummaryRows);
  EXPECT_TRUE(rs.hasDetailRows);
  // The text copies hold the same elements without line ends.
  std::string flat = summary();
  std::erase(flat, '\r');
  std::erase(flat, '\n');
  EXPECT_EQ(rs.summaryXml, flat);
  EXPECT_EQ(rs.failureReason, "");
}

TEST_F(ExtractionTest, EmptyTemplateWritesHeadersOnly) {
  rs.hasEntries = false;
  ASSERT_TRUE(createReportFiles(rs, os).ok());
  ASSERT_TRUE(closeReportFiles(rs).ok());
  expectFile(summary(), "empty_summary.xml");
  expectFile(detail(), "empty_detail.xml");
  EXPECT_EQ(rs.detailXml,
            "<agtregid>4711</agtregid><mntime>03/07/2026 14:05:09</mntime><ftime>03/07/2026 "
            "13:05:09</ftime><totime>03/07/2026 14:05:09</totime>");
}

TEST_F(ExtractionTest, LogLinesOfOnePass) {
  rs.monitorEntries = {entry("System", "2", "3", "101"), entry("Other", "0", "1", "7")};
  extract({"System"});
  Lines log = messages();
  Lines expected = {
      "MSG : Creating Summary File /agent\\wpevntsummdsk_N_4711_03072026140509.xml",
      "MSG : Creating Detailed File /agent\\wpevntdumpdsk_Y_4711_03072026140509.xml",
      "MSG : ---------------------------------------------------------------",
      "MSG : fncCreateLogParserObject, Creating objects for log parser",
      "MSG : fncGetAllEventDetails, Extracting the data from event log for the source, System",
      "MSG : In fncCreateRecordSet, Query :: SELECT EventTypeName AS evttype, TimeGenerated AS "
      "datetime, SourceName AS evtsrc, EventCategoryName AS cat, EventID as evtid,  Message as msg "
      " "
      "FROM 'System' WHERE 0=0  AND TimeGenerated Between TIMESTAMP('2026-03-07 "
      "13:05:09','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('2026-03-07 14:05:09','yyyy-MM-dd hh:mm:ss')",
      "MSG : total records :: 4",
      "MSG : Record Count without filter conditions :4",
      "*******************ScriptID::101******************************",
      "MSG : Filter Condition on Event Type :: (evttype ='Warning event')",
      "MSG : Record Count after Filter Condition :: 1",
      "MSG : RS4",
      "MSG : Totoal event exctrated :-1",
      "*******************ScriptID::7******************************",
  };
  EXPECT_EQ(log, expected);
}

TEST_F(ExtractionTest, QueryWithoutInputEndsQuietly) {
  rs.monitorEntries = {entry("System", "0", "3")};
  fake.logQuery.byLog["System"] = {Status::success(), 0, {}, {}};
  rs.failureReason = "";
  extract({"System"});
  Lines log = messages();
  EXPECT_EQ(log.back(), "MSG : total records :: 0");
  EXPECT_EQ(rs.failureReason, "");
  EXPECT_FALSE(rs.hasSummaryRows);
}

TEST_F(ExtractionTest, InputWithoutRowsStillWalksEveryEntry) {
  rs.monitorEntries = {entry("System", "0", "3", "1"), entry("Other", "0", "3", "2")};
  fake.logQuery.byLog["System"] = {Status::success(), 12, {}, {}};
  extract({"System"});
  Lines log = messages();
  Lines tail(log.end() - 3, log.end());
  EXPECT_EQ(tail, (Lines{"MSG : Record Count without filter conditions :0",
                         "*******************ScriptID::1******************************",
                         "*******************ScriptID::2******************************"}));
}

TEST_F(ExtractionTest, AFailedLogKeepsItsFailureWhenALaterLogWorks) {
  rs.monitorEntries = {entry("Missing", "0", "3", "1"), entry("System", "0", "3", "2")};
  fake.logQuery.byLog["Missing"] = {
      Status{kErrAutomation, "The specified event log Missing was not found in /logs"}, 0, {}, {}};
  extract({"Missing", "System"});
  EXPECT_EQ(rs.failureReason,
            "440 Err DescriptionThe specified event log Missing was not found in /logs");
  EXPECT_EQ(rs.totalEventCount, 4);
  Lines log = messages();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "ERR : fncCreateRecordSet() 440 Err DescriptionThe specified event log "
                      "Missing was not found in /logs"),
            log.end());
}

TEST_F(ExtractionTest, BadOutputOptionOfAnyEntryEndsTheLog) {
  rs.monitorEntries = {entry("System", "1", "3", "1"), entry("Other", "0", "", "2"),
                       entry("System", "2", "3", "3")};
  extract({"System"});
  EXPECT_EQ(rs.failureReason, "13 Err DescriptionType mismatch");
  EXPECT_EQ(messages().back(), "ERR : fncCreateRecordSet() 13 Err DescriptionType mismatch");
  // Rows written before the failure stay.
  EXPECT_EQ(rs.totalEventCount, 3);
}

TEST_F(ExtractionTest, CleanMessageDropsWhatTheReportsCannotHold) {
  struct Case {
    LogValue msg;
    std::string clean;
  } cases[] = {
      {std::string("a ~b? c}"), "a b c}"},
      {std::string("~?~"), ""},
      {std::string("caf\xe9\x80 tab\tcr\rlf\n"), "caf tab\tcr\rlf\n"},
      {std::string("nul\0x\x0b\x0c\x1b!", 10), "nulx!"},
      {std::nullopt, ""},
  };
  for (const Case& c : cases) {
    FakeLogRow r{{"msg", c.msg}};
    struct Record : LogRecord {
      const FakeLogRow* row;
      Status getValue(const std::string& col, LogValue* v) const override {
        *v = row->at(col);
        return Status::success();
      }
    } record;
    record.row = &r;
    EXPECT_EQ(cleanMessage(record), c.clean);
  }
}

}  // namespace
}  // namespace sccevtmon
