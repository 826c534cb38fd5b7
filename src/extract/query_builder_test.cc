#include "extract/query_builder.h"

#include <gtest/gtest.h>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

std::string expectedQuery(const std::string& log, const std::string& from, const std::string& to) {
  return "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
         "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM '" +
         log + "' WHERE 0=0  AND TimeGenerated Between TIMESTAMP('" + from +
         "','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('" + to + "','yyyy-MM-dd hh:mm:ss')";
}

TEST(BuildEventQueryTest, WritesTheWindowAndTheLogNameExactly) {
  struct Case {
    const char* log;
    const char* fromTime;
    const char* toTime;
    const char* from;
    const char* to;
  };
  const Case cases[] = {
      {"System", "01/05/2009 08:07:03", "01/05/2009 09:00:00", "2009-01-05 08:07:03",
       "2009-01-05 09:00:00"},
      // Across the turn of the year each bound takes its own year.
      {"Application", "12/31/2009 23:30:00", "01/01/2010 00:30:00", "2009-12-31 23:30:00",
       "2010-01-01 00:30:00"},
      // Midnight and the first second of a minute keep two digits.
      {"Security", "03/07/2026 00:00:00", "03/08/2026 00:00:01", "2026-03-07 00:00:00",
       "2026-03-08 00:00:01"},
      // A log name with spaces, inside and at either end, goes in unchanged.
      {" Windows PowerShell ", "02/28/2024 23:59:59", "02/29/2024 00:59:59", "2024-02-28 23:59:59",
       "2024-02-29 00:59:59"},
      {"Microsoft-Windows-Sysmon/Operational", "7/3/2009 5:04:09", "7/3/2009 6:04:09",
       "2009-07-03 05:04:09", "2009-07-03 06:04:09"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    std::string query;
    ASSERT_TRUE(buildEventQuery(c.log, c.fromTime, c.toTime, &query).ok());
    EXPECT_EQ(query, expectedQuery(c.log, c.from, c.to));
  }
}

TEST(BuildEventQueryTest, AWindowTextThatIsNoDateFails) {
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"", "01/05/2009 09:00:00"},
           {"01/05/2009 08:07:03", "13/05/2009 09:00:00"},
           {"02/30/2009 08:07:03", "03/01/2009 09:00:00"},
           {"01/05/2009 24:00:00", "01/06/2009 09:00:00"},
           {"2009-01-05 08:07:03", "01/05/2009 09:00:00"}}) {
    std::string query = "unchanged";
    Status s = buildEventQuery("System", from, to, &query);
    EXPECT_EQ(s.number, kErrTypeMismatch) << from << " " << to;
    EXPECT_EQ(s.description, "Type mismatch");
    EXPECT_EQ(query, "unchanged");
  }
}

class GetAllEventDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(os.files.createTextFile("/log.txt", true, &stream).ok());
    rs.activityLog.open(std::move(stream), os.clock);
    rs.fromTime = "12/31/2009 23:30:00";
    rs.toTime = "01/01/2010 00:30:00";
  }

  // The messages of the activity log, without their time stamps.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::string text = os.files.content("/log.txt");
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      std::string l = text.substr(start, end - start);
      EXPECT_EQ(l.substr(0, 20), "03/07/2026 14:05:09\t");
      out.push_back(l.substr(20));
    }
    return out;
  }

  FakePlatform os;
  RunState rs;
};

TEST_F(GetAllEventDetailsTest, HandsTheQueryToTheLoading) {
  fncGetAllEventDetails(rs, os.platform, " Windows PowerShell");
  std::vector<std::string> l = lines();
  ASSERT_GE(l.size(), 2u);
  EXPECT_EQ(l[0],
            "MSG : fncGetAllEventDetails, Extracting the data from event log for the source,  "
            "Windows PowerShell");
  EXPECT_EQ(l[1],
            "MSG : In fncCreateRecordSet, Query :: " +
                expectedQuery(" Windows PowerShell", "2009-12-31 23:30:00", "2010-01-01 00:30:00"));
}

TEST_F(GetAllEventDetailsTest, ABlankNameRunsNoQuery) {
  rs.failureReason = "earlier";
  for (const char* name : {"", "   "}) {
    fncGetAllEventDetails(rs, os.platform, name);
  }
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "MSG : fncGetAllEventDetails, Extracting the data from event log for "
                         "the source, ",
                         "MSG : Default Event Log Source cannot be blank.",
                         "MSG : fncGetAllEventDetails, Extracting the data from event log for "
                         "the source,    ",
                         "MSG : Default Event Log Source cannot be blank.",
                     }));
  EXPECT_EQ(rs.failureReason, "earlier");
}

TEST_F(GetAllEventDetailsTest, AWindowThatIsNoDateIsLoggedAndRunsNoQuery) {
  rs.failureReason = "earlier";
  rs.toTime = "not a time";
  fncGetAllEventDetails(rs, os.platform, "System");
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "MSG : fncGetAllEventDetails, Extracting the data from event log for "
                         "the source, System",
                         "ERR : fncGetEventDetails, Type mismatch",
                     }));
  EXPECT_EQ(rs.failureReason, "earlier");
}

}  // namespace
}  // namespace sccevtmon
