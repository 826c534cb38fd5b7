#include "platform/win32/event_log_engine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "testing/sample_data.h"
#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

const char kQuery[] =
    "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
    "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM '";

std::string event(const char* provider, int id, int level, const char* utc, const char* message) {
  return std::string("<Event><System><Provider Name=\"") + provider + "\"/><EventID>" +
         std::to_string(id) + "</EventID><Level>" + std::to_string(level) +
         "</Level><Task>0</Task><Keywords>0x80000000000000</Keywords><TimeCreated SystemTime=\"" +
         utc + "\"/></System><RenderingInfo Culture=\"en-US\"><Message>" + message +
         "</Message></RenderingInfo></Event>\r\n";
}

class ExportedLogQueryEngineTest : public ::testing::Test {
 protected:
  TempFolder folder;
  ExportedLogQueryEngine engine{hostFiles(), [this] { return folder.path(); }};

  // The rows as "evttype|evtsrc|evtid|msg", or the failure's description.
  std::vector<std::string> run(const std::string& query, long* processed = nullptr) {
    std::unique_ptr<LogQuery> q;
    std::unique_ptr<LogInputFormat> format;
    EXPECT_TRUE(engine.createQuery(&q).ok());
    EXPECT_TRUE(engine.createEventLogInputFormat(&format).ok());
    std::unique_ptr<LogRecordSet> set;
    Status s = q->execute(query, *format, &set);
    if (!s.ok()) return {"failed: " + s.description};
    if (processed != nullptr) *processed = set->inputUnitsProcessed();
    std::vector<std::string> rows;
    for (; !set->atEnd(); set->moveNext()) {
      std::string row;
      for (const char* column : {"evttype", "EVTSRC", "evtid", "msg"}) {
        LogValue v;
        EXPECT_TRUE(set->getRecord().getValue(column, &v).ok());
        row += (row.empty() ? "" : "|") + v.value_or("<null>");
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(ExportedLogQueryEngineTest, ReadsTheRenderedExportOfALogNamedWithASlash) {
  folder.write("Demo%4Operational.xml",
               event("Disk", 7, 2, "2001-05-01T10:00:00.0000000Z", "Bad block.") +
                   event("Ntfs", 55, 3, "2021-05-01T10:00:00.0000000Z", "Line one\r\nline two"));
  long processed = 0;
  EXPECT_EQ(run(std::string(kQuery) + "demo/operational'", &processed),
            (std::vector<std::string>{"Error event|Disk|7|Bad block.",
                                      "Warning event|Ntfs|55|Line one line two"}));
  EXPECT_EQ(processed, 2);
  // The window keeps the second event only, whatever the machine's zone.
  EXPECT_EQ(run(std::string(kQuery) + "Demo/Operational' WHERE 0=0  AND TimeGenerated Between "
                                      "TIMESTAMP('2021-04-30 00:00:00','yyyy-MM-dd hh:mm:ss') AND "
                                      "TIMESTAMP('2021-05-02 23:59:59','yyyy-MM-dd hh:mm:ss')"),
            (std::vector<std::string>{"Warning event|Ntfs|55|Line one line two"}));
}

TEST_F(ExportedLogQueryEngineTest, NamesOutsideTheFolderAreNotReadAndEvtxFilesComeFirst) {
  folder.write("System.evtx", "ElfFile");
  folder.write("System.xml", event("X", 1, 4, "2001-05-01T10:00:00Z", "m"));
  folder.write("sub/Secret.xml", event("X", 1, 4, "2001-05-01T10:00:00Z", "m"));
  std::string notFound = "failed: The specified event log ";
  EXPECT_EQ(run(std::string(kQuery) + "System'"),
            (std::vector<std::string>{"failed: The event log file " + folder.path() +
                                      "\\System.evtx cannot be opened as an event log: the file "
                                      "is too small for an event log"}));
  for (const char* name : {"sub\\Secret", "..", "C:sub", "Sec*"}) {
    std::vector<std::string> rows = run(std::string(kQuery) + name + "'");
    ASSERT_EQ(rows.size(), 1u) << name;
    EXPECT_EQ(rows[0].substr(0, notFound.size()), notFound) << name;
  }
}

// An .evtx export is read by the decoder the portable build uses: the same rows.
TEST_F(ExportedLogQueryEngineTest, ReadsAnEvtxExportAsThePortableBuildDoes) {
  std::ifstream sample(sampleEvtxFolder() + "/edge/System-1-record.evtx", std::ios::binary);
  if (!sample) GTEST_SKIP() << kNeedsSamples;
  folder.write("System.evtx", std::string(std::istreambuf_iterator<char>(sample), {}));
  long processed = 0;
  EXPECT_EQ(run(std::string(kQuery) + "system'", &processed),
            (std::vector<std::string>{
                "Information event|Microsoft-Windows-FilterManager|1|The description for Event "
                "ID 1 from source Microsoft-Windows-FilterManager cannot be found. The following "
                "information was included with the event: 0x00000000, 0, 0, 9, SysmonDrv, "
                "2023-01-20T18:59:19.000000000Z"}));
  EXPECT_EQ(processed, 1);
}

TEST_F(ExportedLogQueryEngineTest, ListsTheExportsAQueryCanRead) {
  folder.write("System.xml", "");
  folder.write("Demo%4Operational.XML", "");
  folder.write("Security.evtx", "");
  folder.write("notes.xmlx", "");
  folder.write("system.EVTX", "");
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0].name, "Demo/Operational");
  EXPECT_EQ(logs[0].location, folder.path() + "\\Demo%4Operational.XML");
  EXPECT_EQ(logs[1].name, "Security");
  EXPECT_EQ(logs[2].name, "system");  // the .evtx file, which a query reads
  EXPECT_EQ(logs[2].location, folder.path() + "\\system.EVTX");
  engine.readLogsFrom(folder.path() + "\\none");
  EXPECT_EQ(engine.listLogs(&logs).number, kErrPathNotFound);
}

}  // namespace
}  // namespace sccevtmon
