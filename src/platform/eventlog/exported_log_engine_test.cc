// The engine over a folder of exports, run by both builds over a real temporary folder through
// the build's own file system.
#include "platform/eventlog/exported_log_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/eventlog/exported_logs.h"
#include "testing/evtx_writer.h"
#include "testing/native_fixture.h"
#include "testing/scoped_time_zone.h"
#include "testing/temp_folder.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace sccevtmon {
namespace {

const char kQuery[] =
    "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
    "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM '";

std::string allQuery(const std::string& log) { return kQuery + log + "'"; }

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

struct Ev {
  std::string provider = "Name='Microsoft-Windows-Security-Auditing'";
  std::string eventId = "<EventID>4624</EventID>";
  int level = 0;
  int task = 0;
  std::string keywords = "0x8020000000000000";
  std::string time = "2016-09-19T16:50:06.4778790Z";
  int recordId = 1;
  std::string body;
  std::string rendering;

  std::string xml() const {
    return "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'>\n  <System>"
           "<Provider " +
           provider + "/>" + eventId + "<Level>" + std::to_string(level) + "</Level><Task>" +
           std::to_string(task) + "</Task><Keywords>" + keywords +
           "</Keywords><TimeCreated SystemTime='" + time + "'/><EventRecordID>" +
           std::to_string(recordId) + "</EventRecordID><Channel>Security</Channel></System>\n" +
           body + rendering + "</Event>\n";
  }
};

using Row = std::map<std::string, std::string>;

class ExportedLogEngineTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::unique_ptr<FileSystem> files = makeFileSystem();
  ExportedLogQueryEngine engine{*files, [this] { return folder.path(); }};

  void write(const std::string& name, const std::string& bytes) { folder.write(name, bytes); }
  // A file of the folder as the engine names it in its texts.
  std::string shown(const std::string& name) { return folder.path() + kSeparator + name; }

  Status execute(const std::string& query, std::unique_ptr<LogRecordSet>* set) {
    std::unique_ptr<LogQuery> q;
    std::unique_ptr<LogInputFormat> f;
    EXPECT_TRUE(engine.createQuery(&q).ok());
    EXPECT_TRUE(engine.createEventLogInputFormat(&f).ok());
    return q->execute(query, *f, set);
  }

  // Runs query and collects the rows; "<null>" stands for a null value.
  Status run(const std::string& query, std::vector<Row>* rows, long* processed = nullptr) {
    std::unique_ptr<LogRecordSet> set;
    Status s = execute(query, &set);
    if (!s.ok()) return s;
    if (processed != nullptr) *processed = set->inputUnitsProcessed();
    for (; !set->atEnd(); set->moveNext()) {
      Row row;
      for (const char* c : {"evttype", "datetime", "evtsrc", "cat", "evtid", "msg"}) {
        LogValue v;
        EXPECT_TRUE(set->getRecord().getValue(c, &v).ok());
        row[c] = v ? *v : "<null>";
      }
      rows->push_back(row);
    }
    return s;
  }
};

// The local time is the system's on Windows and TZ's here; the other columns are the same.
TEST_F(ExportedLogEngineTest, MapsEveryColumnOfRenderedEvents) {
  Ev failure;  // audit failure with a rendered message and task name
  failure.eventId = "<EventID>4625</EventID>";
  failure.keywords = "0x8010000000000000";
  failure.task = 12544;
  failure.body = "<EventData><Data Name='SubjectUserSid'>S-1-0-0</Data></EventData>";
  failure.rendering =
      "<RenderingInfo Culture='en-US'><Message>An account failed to log on.\r\n\r\nSubject:"
      "\tX\nY\rZ</Message><Level>Information</Level><Task>Logon</Task></RenderingInfo>";
  Ev success;  // audit success with neither: "(task)" and the fallback text
  success.task = 12544;
  success.body =
      "<EventData><Data Name='A'>S-1-5-18</Data><Data Name='B'></Data><Data>caf\xC3\xA9 "
      "\xCE\xA9</Data></EventData>";
  Ev error;  // classic error: qualifiers dropped, EventSourceName, Binary left out
  error.provider = "Name='Microsoft-Windows-Search' EventSourceName='Windows Search Service'";
  error.eventId = "<EventID Qualifiers='49162'>50</EventID>";
  error.level = 2;
  error.keywords = "0x0080000000000000";
  error.body =
      "<EventData><Data>\\Device\\Termdd</Data><Data>X.224</Data><Binary>0000</Binary>"
      "</EventData>";
  Ev warning;  // UserData leaf texts, an empty rendered message falls back too
  warning.level = 3;
  warning.keywords = "0x4000000000000000";
  warning.task = 1;
  warning.body =
      "<UserData><LogFileCleared xmlns='x'><SubjectUserName>bob</SubjectUserName><Inner>"
      "<Deep>1</Deep></Inner><Empty/></LogFileCleared></UserData>";
  warning.rendering = "<RenderingInfo><Message></Message><Task></Task></RenderingInfo>";
  Ev critical;
  critical.level = 1;
  critical.keywords = "0x8000000000000002";
  Ev both;  // level 2 with the audit-success keyword: the keyword wins
  both.level = 2;
  Ev plain[3];  // levels 0, 4 and 5 without audit keywords
  for (int k = 0; k < 3; ++k) {
    plain[k].level = k == 0 ? 0 : k + 3;
    plain[k].keywords = "0x0080000000000000";
  }
  write("Security.xml", "<Events>" + failure.xml() + success.xml() + error.xml() + warning.xml() +
                            critical.xml() + both.xml() + plain[0].xml() + plain[1].xml() +
                            plain[2].xml() + "</Events>");
  std::vector<Row> rows;
  ASSERT_TRUE(run(allQuery("Security"), &rows).ok());
  ASSERT_EQ(rows.size(), 9u);
  for (Row& row : rows) row.erase("datetime");
  EXPECT_EQ(rows[0], (Row{{"evttype", "Failure Audit event"},
                          {"evtsrc", "Microsoft-Windows-Security-Auditing"},
                          {"cat", "Logon"},
                          {"evtid", "4625"},
                          {"msg", "An account failed to log on.  Subject: X Y Z"}}));
  EXPECT_EQ(rows[1], (Row{{"evttype", "Success Audit event"},
                          {"evtsrc", "Microsoft-Windows-Security-Auditing"},
                          {"cat", "(12544)"},
                          {"evtid", "4624"},
                          {"msg",
                           "The description for Event ID 4624 from source "
                           "Microsoft-Windows-Security-Auditing cannot be found. The following "
                           "information was included with the event: S-1-5-18, , caf\xE9 ?"}}));
  EXPECT_EQ(rows[2], (Row{{"evttype", "Error event"},
                          {"evtsrc", "Windows Search Service"},
                          {"cat", "None"},
                          {"evtid", "50"},
                          {"msg",
                           "The description for Event ID 50 from source Windows Search Service "
                           "cannot be found. The following information was included with the "
                           "event: \\Device\\Termdd, X.224"}}));
  EXPECT_EQ(rows[3].at("evttype"), "Warning event");
  EXPECT_EQ(rows[3].at("cat"), "(1)");
  EXPECT_EQ(rows[3].at("msg"),
            "The description for Event ID 4624 from source Microsoft-Windows-Security-Auditing "
            "cannot be found. The following information was included with the event: bob, 1, ");
  EXPECT_EQ(rows[4].at("evttype"), "Error event");
  EXPECT_EQ(rows[5].at("evttype"), "Success Audit event");
  for (int k = 6; k < 9; ++k) EXPECT_EQ(rows[k].at("evttype"), "Information event") << k;
}

TEST_F(ExportedLogEngineTest, ReadsEveryShapeOfRenderedExport) {
  Ev a, b;
  a.recordId = 7;  // document order, not record order
  b.recordId = 3;
  b.eventId = "<EventID>4672</EventID>";
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string pair = a.xml() + b.xml();
  std::string utf16 = "\xFF\xFE";
  std::string text = "<?xml version='1.0' encoding='UTF-16'?>\r\n<Events>" + pair + "</Events>";
  for (char c : text) utf16 += std::string{c, '\0'};
  const Case cases[] = {
      {"bare sequence", pair},
      {"root and declaration",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Events>" + pair + "</Events>"},
      {"comments, CDATA and a byte-order mark",
       "\xEF\xBB\xBF<!-- <Event> in a comment --><Events><![CDATA[<Event>]]>" + pair + "</Events>"},
      {"single-byte encoding", "<?xml version='1.0' encoding='windows-1252'?>" + pair},
      {"UTF-16", utf16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write("Security.xml", c.bytes);
    std::vector<Row> rows;
    long processed = 0;
    Status s = run(allQuery("security"), &rows, &processed);
    ASSERT_TRUE(s.ok()) << s.description;
    EXPECT_EQ(processed, 2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("evtid"), "4624");
    EXPECT_EQ(rows[1].at("evtid"), "4672");
  }
}

// The reader takes the file in blocks of 1 MiB: events and UTF-16 surrogate pairs that
// straddle a block boundary come out whole.
TEST_F(ExportedLogEngineTest, EventsAcrossReadBlocksComeOutWhole) {
  Ev e;
  e.body = "<EventData><Data>x\xF0\x9F\x98\x80y</Data></EventData>";  // U+1F600 between x and y
  std::string event = e.xml();
  std::string head = "<Events>";
  std::string beforeEmoji = event.substr(0, event.find("x\xF0") + 1);
  // After the byte-order mark, code unit 524,287 (bytes 1,048,574 and 1,048,575, the last two
  // of the first block) is the high surrogate.
  head += std::string(524286 - head.size() - beforeEmoji.size(), ' ');
  std::string text = head;
  for (int k = 0; k < 3000; ++k) text += event;
  text += "</Events>";
  std::string utf16 = "\xFF\xFE";
  for (size_t k = 0; k < text.size(); ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    if (c == 0xF0) {  // the one four-byte sequence: U+1F600 as D83D DE00
      utf16 += std::string("\x3D\xD8\x00\xDE", 4);
      k += 3;
    } else {
      utf16 += std::string{static_cast<char>(c), '\0'};
    }
  }
  write("System.xml", utf16);
  std::vector<Row> rows;
  long processed = 0;
  ASSERT_TRUE(run(allQuery("System"), &rows, &processed).ok());
  EXPECT_EQ(processed, 3000);
  ASSERT_EQ(rows.size(), 3000u);
  for (const Row& r : rows) ASSERT_EQ(r.at("msg").substr(r.at("msg").size() - 3), "x?y");
}

TEST_F(ExportedLogEngineTest, DamagedEventsAreSkippedAndCounted) {
  Ev a;
  std::string broken = "<Event><System><EventID>1</EventID></Sys></Event>\n";
  write("System.xml", a.xml() + broken + a.xml() + a.xml().substr(0, 40));
  std::vector<Row> rows;
  long processed = 0;
  ASSERT_TRUE(run(allQuery("System"), &rows, &processed).ok());
  EXPECT_EQ(processed, 4);
  EXPECT_EQ(rows.size(), 2u);

  write("System.xml", broken + broken);
  Status s = run(allQuery("System"), &rows);
  EXPECT_EQ(s.number, kErrAutomation);
  EXPECT_EQ(s.description, "The event log file " + shown("System.xml") +
                               " cannot be read: none of its 2 events is readable");

  write("System.xml", "<Events></Events>");
  rows.clear();
  ASSERT_TRUE(run(allQuery("System"), &rows, &processed).ok());
  EXPECT_EQ(processed, 0);
}

TEST_F(ExportedLogEngineTest, AFileWithoutEventsIsAnEmptyLogOnlyWhenItIsAnExport) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* why;  // nullptr: an empty log
  } cases[] = {
      {"0 bytes", "", nullptr},
      {"a root alone", "<Events/>", nullptr},
      {"declaration, comment and blank lines", "<?xml version='1.0'?>\r\n<!-- x -->\r\n", nullptr},
      {"UTF-16 root", std::string("\xFF\xFE<\0E\0v\0e\0n\0t\0s\0/\0>\0", 20), nullptr},
      {"text", "no events here", "it holds text outside any element"},
      {"CDATA", "<![CDATA[x]]>", "it holds text outside any element"},
      {"two roots", "<Events/><Events/>", "it has more than one root element"},
      {"another root", "<Event-log/>", "its root element is Event-log, not Events"},
      {"unclosed root", "<Events>", "Start-end tags mismatch at line 1, column 8"},
      {"declared entity", "<!DOCTYPE Events [<!ENTITY e 'x'>]><Events/>",
       "entity declarations are not supported (document type declaration at line 1, column 1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write("System.xml", c.bytes);
    std::vector<Row> rows;
    long processed = -1;
    Status s = run(allQuery("System"), &rows, &processed);
    if (c.why == nullptr) {
      EXPECT_TRUE(s.ok()) << s.description;
      EXPECT_EQ(processed, 0);
    } else {
      EXPECT_EQ(s.number, kErrAutomation);
      EXPECT_EQ(s.description, "The event log file " + shown("System.xml") +
                                   " is not an event log export: " + c.why);
    }
  }
}

// Control characters, raw NULs and bytes that XML or UTF-8 do not allow keep their event: each
// reads as '?'.
TEST_F(ExportedLogEngineTest, CharactersAnEventCannotHoldReadAsQuestionMarks) {
  const struct {
    std::string raw;
    std::string read;
  } kCases[] = {
      {"raw\x01\x1F", "raw??"},         // control characters
      {"ref&#x1;&#9;", "ref? "},        // referenced ones; a TAB is a space
      {std::string("a\0b", 3), "a?b"},  // NUL
      {"a\xFF"
       "b",
       "a?b"},          // never in UTF-8
      {"a\xC3", "a?"},  // a sequence cut short
      {"a\xC0\xAF"
       "b",
       "a??b"},  // overlong '/'
      {"a\xED\xA0\x80"
       "b",
       "a???b"},  // a surrogate
      {"a\xC3\xA9"
       "b",
       "a\xE9"
       "b"},  // well-formed: e acute
  };
  for (const auto& c : kCases) {
    Ev e;
    e.body = "<EventData><Data>" + c.raw + "</Data></EventData>";
    write("System.xml", e.xml());
    std::vector<Row> rows;
    ASSERT_TRUE(run(allQuery("System"), &rows).ok()) << c.read;
    ASSERT_EQ(rows.size(), 1u) << c.read;
    const std::string& msg = rows[0].at("msg");
    EXPECT_EQ(msg.substr(msg.find("event: ") + 7), c.read);
  }
}

// Events nested deeper than 1,000 levels or longer than 4 MiB are skipped and counted, however
// deep or long; the events around them are read.
TEST_F(ExportedLogEngineTest, TooDeepAndTooLongEventsAreSkippedAndCounted) {
  auto nested = [](int levels, const std::string& leaf) {
    std::string open, close;
    for (int k = 0; k < levels; ++k) {
      open += "<n>";
      close += "</n>";
    }
    return open + leaf + close;
  };
  Ev normal;
  normal.body = "<EventData><Data>normal</Data></EventData>";
  const struct {
    std::string body;
    bool read;
  } kCases[] = {
      // The event and UserData are two of the levels.
      {"<UserData>" + nested(998, "deep") + "</UserData>", true},
      {"<UserData>" + nested(999, "deep") + "</UserData>", false},
      {"<UserData>" + nested(350000, "deep") + "</UserData>", false},  // about 2.4 MB
      {"<EventData><Data>" + std::string(4200000, 'x') + "</Data></EventData>", false},
      {"<EventData><Data><![CDATA[" + std::string(9000000, '<') + "]]></Data></EventData>", false},
      {"<!-- " + std::string(9000000, '-') + " -->", false},
  };
  for (const auto& c : kCases) {
    Ev odd;
    odd.body = c.body;
    write("System.xml", "<Events>" + normal.xml() + odd.xml() + normal.xml() + "</Events>");
    std::vector<Row> rows;
    long processed = 0;
    ASSERT_TRUE(run(allQuery("System"), &rows, &processed).ok()) << c.body.size();
    EXPECT_EQ(processed, 3) << c.body.size();
    ASSERT_EQ(rows.size(), c.read ? 3u : 2u) << c.body.size();
    EXPECT_NE(rows.back().at("msg").find("normal"), std::string::npos);
    if (c.read) {
      EXPECT_NE(rows[1].at("msg").find("event: deep"), std::string::npos);
    }
  }
}

// A log name names one file of the folder, whatever its case, and nothing outside it.
TEST_F(ExportedLogEngineTest, FindsLogFilesByNameWithoutRegardToCase) {
  Ev a;
  write("microsoft-windows-sysmon%4operational.XML", a.xml());
  write("Windows PowerShell.xml", a.xml());
  write("..xml", a.xml());
  write("sub/Secret.xml", a.xml());
  std::filesystem::create_directory(folder.file("Folder.xml"));
  std::vector<Row> rows;
  EXPECT_TRUE(run(allQuery("Microsoft-Windows-Sysmon/Operational"), &rows).ok());
  EXPECT_TRUE(run(allQuery("windows powershell"), &rows).ok());
  EXPECT_EQ(rows.size(), 2u);
  for (const std::string& name :
       {std::string("."), std::string(".."), std::string("Windows PowerShell "),
        std::string("x\\..\\Windows PowerShell"), std::string("Folder"), std::string(""),
        std::string("sub\\Secret"), std::string("sub/Secret"), std::string("C:sub"),
        std::string("Windows*"), std::string("System\0Old", 10), std::string("\0System", 7)}) {
    SCOPED_TRACE(name);
    Status s = run(allQuery(name), &rows);
    EXPECT_EQ(s.number, kErrAutomation);
    EXPECT_EQ(s.description,
              "The specified event log " + name + " was not found in " + folder.path());
  }
  // .evtx comes first: a text file under that name is opened as .evtx and fails.
  write("Windows PowerShell.evtx", "plain text");
  Status s = run(allQuery("Windows PowerShell"), &rows);
  EXPECT_EQ(s.description.rfind("The event log file " + shown("Windows PowerShell.evtx") +
                                    " cannot be opened as an event log: ",
                                0),
            0u)
      << s.description;
}

TEST_F(ExportedLogEngineTest, ExecuteFailsClearly) {
  engine.readLogsFrom("");
  std::unique_ptr<LogRecordSet> set;
  Status s = execute(allQuery("System"), &set);
  EXPECT_EQ(s.description,
            "The specified event log System was not found: the event-log folder is not known");
  s = execute("SELECT * FROM 'System'", &set);
  EXPECT_EQ(s.description, "Syntax error at position 8: unexpected character '*'");
  std::unique_ptr<LogQuery> q;
  ASSERT_TRUE(engine.createQuery(&q).ok());
  class OtherFormat : public LogInputFormat {
  } other;
  s = q->execute(allQuery("System"), other, &set);
  EXPECT_EQ(s.number, kErrInvalidCall);
  EXPECT_EQ(set, nullptr);
}

TEST_F(ExportedLogEngineTest, ValuesAreReadByAliasWithoutRegardToCase) {
  Ev a;
  write("System.xml", a.xml());
  std::unique_ptr<LogRecordSet> set;
  ASSERT_TRUE(execute("SELECT EventID AS evtid FROM 'System'", &set).ok());
  LogValue v;
  ASSERT_FALSE(set->atEnd());
  EXPECT_TRUE(set->getRecord().getValue("EVTID", &v).ok());
  EXPECT_EQ(v, "4624");
  Status s = set->getRecord().getValue("msg", &v);
  EXPECT_EQ(s.description, "The query has no column named msg");
  EXPECT_TRUE(set->moveNext().ok());
  EXPECT_TRUE(set->atEnd());
  EXPECT_FALSE(set->getRecord().getValue("evtid", &v).ok());
  EXPECT_TRUE(set->moveNext().ok());
}

// An .evtx export is read by the decoder both builds share; the records it could not read,
// or read with a value it could not show, are told apart by reason.
TEST_F(ExportedLogEngineTest, ReadsAnEvtxExportAndSaysWhyRecordsWereSkipped) {
  // Where the last record of a written log starts (the chunk's free space is zeros).
  auto lastRecord = [](const std::string& file) { return file.rfind(std::string("**\0\0", 4)); };
  const std::string log = testing::classicLog();
  testing::EvtxChunkWriter w;
  // Two 32-bit values of 3 bytes, then one of 4.
  testing::writeValueRecord(w, 1, {0x08, std::string("\x01\x02\x03", 3)});
  testing::writeValueRecord(w, 2, {0x08, std::string("\x01\x02\x03", 3)});
  testing::writeValueRecord(w, 3, {0x08, std::string("\x01\x02\x03\x04", 4)});
  const std::string repaired = testing::evtxFile({w.finish()});
  const std::string kRepaired =
      "2 records repaired: substitution length does not suit its type (chunk 0, record 1, "
      "offset 0x1200)";
  const struct {
    const char* what;
    std::string bytes;
    long processed, rows;
    std::vector<std::string> notes;
  } kCases[] = {
      {"whole", log, 2, 2, {}},
      {"cut",
       testing::cut(log, lastRecord(log) + 0x20),
       2,
       1,
       {"1 record skipped: record cut off by the end of the file (chunk 0, record 2, offset "
        "0x15e0)"}},
      {"value lengths", repaired, 3, 3, {kRepaired}},
      {"both",
       testing::cut(repaired, lastRecord(repaired) + 0x20),
       3,
       2,
       {"1 record skipped: record cut off by the end of the file (chunk 0, record 3, offset "
        "0x1800)",
        kRepaired}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    write("System.evtx", c.bytes);
    std::unique_ptr<LogRecordSet> set;
    Status s = execute(allQuery("system"), &set);
    ASSERT_TRUE(s.ok()) << s.description;
    EXPECT_EQ(set->inputUnitsProcessed(), c.processed);
    EXPECT_EQ(set->skipNotes(), c.notes);
    long rows = 0;
    for (; !set->atEnd(); set->moveNext()) ++rows;
    EXPECT_EQ(rows, c.rows);
  }
}

TEST_F(ExportedLogEngineTest, ListsTheLogsAsQueriesNameThemAndReadsAnotherFolderWhenTold) {
  for (const char* name : {"System.evtx", "system.xml", "Demo%4Operational.XML", "Security.xml",
                           "notes.txt", "notes.xmlx", ".xml", "...evtx"}) {
    write(name, "");
  }
  std::filesystem::create_directory(folder.file("Folder.xml"));
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0].name, "Demo/Operational");
  EXPECT_EQ(logs[0].location, shown("Demo%4Operational.XML"));
  EXPECT_EQ(logs[1].name, "Security");
  EXPECT_EQ(logs[2].name, "System");
  EXPECT_EQ(logs[2].location, shown("System.evtx"));  // the file a query reads
  engine.readLogsFrom(shown("none"));
  EXPECT_EQ(engine.listLogs(&logs).number, kErrPathNotFound);
  engine.readLogsFrom("");
  EXPECT_FALSE(engine.listLogs(&logs).ok());
}

#ifndef _WIN32
// The portable build: local times follow TZ, names are UTF-8 in the file system, and a log is
// linked into the folder.

std::string windowQuery(const std::string& log, const std::string& from, const std::string& to) {
  return kQuery + log + "' WHERE 0=0  AND TimeGenerated Between TIMESTAMP('" + from +
         "','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('" + to + "','yyyy-MM-dd hh:mm:ss')";
}

TEST_F(ExportedLogEngineTest, LocalTimeFollowsTzAndTheWindowIsInclusiveOnWholeSeconds) {
  Ev a;  // 16:50:06.9 UTC
  a.time = "2016-09-19T16:50:06.9999999Z";
  Ev b;  // one second later
  b.time = "2016-09-19T16:50:07Z";
  b.recordId = 2;
  Ev winter;  // standard time in New York
  winter.time = "2016-01-10T05:00:00.0000000Z";
  write("Security.xml", a.xml() + b.xml() + winter.xml());
  {
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    std::vector<Row> rows;
    long processed = 0;
    ASSERT_TRUE(run(windowQuery("Security", "2016-09-19 12:50:06", "2016-09-19 12:50:06"), &rows,
                    &processed)
                    .ok());
    EXPECT_EQ(processed, 3);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("datetime"), "09/19/2016 12:50:06");
    rows.clear();
    ASSERT_TRUE(run(allQuery("Security"), &rows).ok());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].at("datetime"), "01/10/2016 00:00:00");
  }
  ScopedTimeZone zone("UTC0");
  std::vector<Row> rows;
  ASSERT_TRUE(
      run(windowQuery("Security", "2016-09-19 16:50:06", "2016-09-19 16:50:07"), &rows).ok());
  EXPECT_EQ(rows.size(), 2u);
  rows.clear();
  ASSERT_TRUE(
      run(windowQuery("Security", "2016-09-19 12:50:06", "2016-09-19 12:50:07"), &rows).ok());
  EXPECT_EQ(rows.size(), 0u);
}

// The program's names are Windows-1252; the file system's are UTF-8.
TEST_F(ExportedLogEngineTest, LooksUpLogNamesOutsideAsciiInTheFileSystemsEncoding) {
  write(
      "S\xC3\xA9"
      "curit\xC3\xA9.xml",
      "");                       // UTF-8
  write("Log\xCE\xA9.xml", "");  // an omega: no Windows-1252 letter
  write("Journal\xE9.xml", "");  // not UTF-8
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].location, shown("S\xE9"
                                    "curit\xE9.xml"));
  std::vector<Row> rows;
  EXPECT_TRUE(run(allQuery("S\xE9"
                           "curit\xE9"),
                  &rows)
                  .ok());
  for (const char* name : {"Log?", "Journal\xE9", "Journal?"}) {
    EXPECT_EQ(
        run(allQuery(name), &rows).description,
        std::string("The specified event log ") + name + " was not found in " + folder.path());
  }
  // The folder is the program's text too, and shown as such.
  write("\xC3\x9C/System.xml", "");
  engine.readLogsFrom(folder.path() + "\\\xDC");
  EXPECT_TRUE(run(allQuery("System"), &rows).ok());
  EXPECT_EQ(run(allQuery("Other"), &rows).description,
            "The specified event log Other was not found in " + folder.path() + "/\xDC");
}

// An operator may link a log into the folder rather than copy it; the monitor's own listings
// (listFiles) still pass such links over.
TEST_F(ExportedLogEngineTest, ReadsALogLinkedIntoTheFolder) {
  Ev a;
  write("elsewhere/Security.xml", a.xml());
  write("logs/.keep", "");
  ASSERT_EQ(::symlink(folder.file("elsewhere/Security.xml").c_str(),
                      folder.file("logs/Security.xml").c_str()),
            0);
  engine.readLogsFrom(folder.path() + "/logs");
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].location, folder.path() + "/logs/Security.xml");
  std::vector<Row> rows;
  ASSERT_TRUE(run(allQuery("Security"), &rows).ok());
  EXPECT_EQ(rows.size(), 1u);
  std::vector<std::string> names;
  ASSERT_TRUE(files->listFiles(folder.path() + "/logs", &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{".keep"});
}

// A whole export as Windows writes it: declaration, root, rendered texts with line breaks and
// tabs, a classic event with Binary, a UserData event.
TEST_F(ExportedLogEngineTest, ReadsAWholeRenderedExportAsWindowsWritesIt) {
  ScopedTimeZone zone("UTC0");
  engine.readLogsFrom(SCCEVTMON_SOURCE_DIR "/src/platform/posix/testdata");
  std::vector<Row> rows;
  long processed = 0;
  ASSERT_TRUE(run(windowQuery("Rendered_Events", "2016-09-19 16:50:06", "2016-09-19 17:00:00"),
                  &rows, &processed)
                  .ok());
  EXPECT_EQ(processed, 3);
  std::vector<std::string> texts;
  for (const Row& r : rows) {
    std::string text;
    for (const char* c : {"evttype", "datetime", "evtsrc", "cat", "evtid", "msg"}) {
      text += (text.empty() ? "" : "|") + r.at(c);
    }
    texts.push_back(text);
  }
  EXPECT_EQ(
      texts,
      (std::vector<std::string>{
          "Failure Audit event|09/19/2016 16:50:06|Microsoft-Windows-Security-Auditing|Logon|4625|"
          "An account failed to log on.  Subject:  Security ID:  S-1-0-0",
          "Information event|09/19/2016 16:51:00|Service Control Manager|None|7036|The description "
          "for Event ID 7036 from source Service Control Manager cannot be found. The following "
          "information was included with the event: Windows Modules Installer, stopped",
          "Success Audit event|09/19/2016 17:00:00|Microsoft-Windows-Eventlog|(104)|1102|The "
          "description for Event ID 1102 from source Microsoft-Windows-Eventlog cannot be found. "
          "The following information was included with the event: S-1-5-21-1, admin, WIN-PC, "
          "0x3e7"}));
}
#endif

}  // namespace
}  // namespace sccevtmon
