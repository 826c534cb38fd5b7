#include "platform/eventlog/log_query_parser.h"

#include <gtest/gtest.h>

#include "util/civil_time.h"

namespace sccevtmon {
namespace {

long long at(int y, int mo, int d, int h, int mi, int s) {
  return civilSeconds(LocalTime{y, mo, d, h, mi, s});
}

// The text the monitor writes for a window, exactly.
const char kMonitorQuery[] =
    "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
    "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM 'Windows PowerShell' "
    "WHERE 0=0  AND TimeGenerated Between TIMESTAMP('2009-12-31 23:30:00','yyyy-MM-dd "
    "hh:mm:ss') AND TIMESTAMP('2010-01-01 00:30:00','yyyy-MM-dd hh:mm:ss')";

TEST(LogQueryParserTest, ReadsTheMonitorsQuery) {
  LogQueryText q;
  ASSERT_TRUE(parseLogQuery(kMonitorQuery, &q).ok());
  ASSERT_EQ(q.columns.size(), 6u);
  const char* names[] = {"evttype", "datetime", "evtsrc", "cat", "evtid", "msg"};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(q.columns[k].field, static_cast<EventField>(k));
    EXPECT_EQ(q.columns[k].name, names[k]);
  }
  EXPECT_EQ(q.logName, "Windows PowerShell");
  EXPECT_TRUE(q.hasWindow);
  EXPECT_EQ(q.windowFrom, at(2009, 12, 31, 23, 30, 0));
  EXPECT_EQ(q.windowTo, at(2010, 1, 1, 0, 30, 0));
}

TEST(LogQueryParserTest, AcceptsOtherSpellingsOfTheSubset) {
  struct Case {
    const char* text;
    const char* logName;
    bool window;
    long long from, to;
  };
  const Case cases[] = {
      {"select eventid from 'System'", "System", false, 0, 0},
      {"SeLeCt EventID aS id, message FROM ' spaced name ' where 0=0 and timegenerated "
       "between timestamp('2024-02-29 00:00:00', 'yyyy-MM-dd hh:mm:ss') and "
       "timestamp('2024-02-29 23:59:59','yyyy-MM-dd hh:mm:ss')",
       " spaced name ", true, at(2024, 2, 29, 0, 0, 0), at(2024, 2, 29, 23, 59, 59)},
      {"SELECT EventID\r\n\tFROM 'Microsoft-Windows-Sysmon/Operational'",
       "Microsoft-Windows-Sysmon/Operational", false, 0, 0},
      {"SELECT EventID FROM 'x' WHERE 00=0 AND TimeGenerated BETWEEN "
       "TIMESTAMP('2009/03/07-05.04.09','yyyy/MM/dd-hh.mm.ss') AND "
       "TIMESTAMP('2009-03-07','yyyy-MM-dd')",
       "x", true, at(2009, 3, 7, 5, 4, 9), at(2009, 3, 7, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LogQueryText q;
    Status s = parseLogQuery(c.text, &q);
    ASSERT_TRUE(s.ok()) << s.description;
    EXPECT_EQ(q.logName, c.logName);
    EXPECT_EQ(q.hasWindow, c.window);
    EXPECT_EQ(q.windowFrom, c.from);
    EXPECT_EQ(q.windowTo, c.to);
  }
}

TEST(LogQueryParserTest, ColumnWithoutAliasIsReadByItsFieldName) {
  LogQueryText q;
  ASSERT_TRUE(parseLogQuery("SELECT eventid, Message AS m FROM 'System'", &q).ok());
  ASSERT_EQ(q.columns.size(), 2u);
  EXPECT_EQ(q.columns[0].name, "EventID");
  EXPECT_EQ(q.columns[1].name, "m");
}

TEST(LogQueryParserTest, RejectsOtherTextsNamingThePosition) {
  struct Case {
    const char* text;
    const char* description;
  };
  const Case cases[] = {
      {"", "Syntax error at position 1: expected the keyword SELECT, found the end of the query"},
      {"SELECT FROM 'System'", "Syntax error at position 8: expected a field name, found 'FROM'"},
      {"SELECT EventID, FROM 'System'",
       "Syntax error at position 17: expected a field name, found 'FROM'"},
      {"SELECT Strings FROM 'System'",
       "Syntax error at position 8: unknown field 'Strings' (the event log offers "
       "EventTypeName, TimeGenerated, SourceName, EventCategoryName, EventID and Message)"},
      {"SELECT EventID AS id, Message AS ID FROM 'System'",
       "Syntax error at position 34: the column name 'ID' is used twice"},
      {"SELECT EventID AS FROM 'System'",
       "Syntax error at position 19: expected an alias, found 'FROM'"},
      {"SELECT EventID FROM System",
       "Syntax error at position 21: expected the event log name in single quotes, found "
       "'System'"},
      {"SELECT EventID FROM 'System", "Syntax error at position 21: the quoted text is not closed"},
      {"SELECT EventID FROM 'System' ORDER BY EventID",
       "Syntax error at position 30: expected the end of the query, found 'ORDER'"},
      {"SELECT EventID FROM 'System' WHERE 0=1 AND TimeGenerated BETWEEN "
       "TIMESTAMP('2009-01-01','yyyy-MM-dd') AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 36: only a condition that always holds (such as 0=0) may stand "
       "here"},
      {"SELECT EventID FROM 'System' WHERE EventID = 5",
       "Syntax error at position 36: expected TimeGenerated, found 'EventID'"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated > 5",
       "Syntax error at position 50: unexpected character '>'"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN TIMESTAMP('2009-01-01') AND "
       "TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 80: expected ',', found ')'"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-13-01','yyyy-MM-dd') AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 68: '2009-13-01' is not a valid date and time"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-01-01 24:00:00','yyyy-MM-dd hh:mm:ss') AND "
       "TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 68: '2009-01-01 24:00:00' is not a valid date and time"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-1-01','yyyy-MM-dd') AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 75: the timestamp '2009-1-01' does not match the format "
       "'yyyy-MM-dd'"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-01-01 1','yyyy-MM-dd') AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 79: the timestamp '2009-01-01 1' does not match the format "
       "'yyyy-MM-dd'"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-01-01 1 PM','yyyy-MM-dd h tt') AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 98: unsupported element 'h' in the timestamp format"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN TIMESTAMP('10:00','hh:mm') "
       "AND TIMESTAMP('2009-01-02','yyyy-MM-dd')",
       "Syntax error at position 76: the timestamp format 'hh:mm' lacks the year, month or day"},
      {"SELECT EventID FROM 'System' WHERE TimeGenerated BETWEEN "
       "TIMESTAMP('2009-01-01','yyyy-MM-dd')",
       "Syntax error at position 94: expected the keyword AND, found the end of the query"},
      {"SELECT EventID; DROP TABLE x", "Syntax error at position 15: unexpected character ';'"},
      {"SELECT 1x FROM 'System'", "Syntax error at position 9: unexpected character 'x'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LogQueryText q;
    q.logName = "left over";
    Status s = parseLogQuery(c.text, &q);
    EXPECT_EQ(s.number, kErrAutomation);
    EXPECT_EQ(s.description, c.description);
    EXPECT_TRUE(q.logName.empty());
  }
}

TEST(LogQueryParserTest, NulInsideTheTextFailsAtItsPosition) {
  LogQueryText q;
  Status s = parseLogQuery(std::string_view("SELECT EventID\0 FROM 'System'", 29), &q);
  EXPECT_EQ(s.description, "Syntax error at position 15: unexpected NUL character");
}

}  // namespace
}  // namespace sccevtmon
