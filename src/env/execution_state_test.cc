#include "env/execution_state.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

const char* kIni = "/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini";

class RunGateTest : public RunTest {
 protected:
  void SetUp() override {
    openLog();
    fake.files.addFolder("/agent/qSCC/MonitorTemplate");
  }
  void state(const std::string& content) { fake.files.addFile(kIni, content); }
  void now(LocalTime t) { fake.clock.time = t; }
};

TEST_F(RunGateTest, SameClockHourIsRefused) {
  state("[Threshold]\r\nEventDetails=50\r\n[LastRunDateTime]\r\nLastRun=03/07/2026 10:01:00\r\n");
  now({2026, 3, 7, 10, 58, 0});
  EXPECT_FALSE(fncChkLastRunTime(rs, os));
  EXPECT_EQ(rs.failureReason, "Last exection is less than an hour.");
  EXPECT_EQ(rs.executionIniPath, "/agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini");
  EXPECT_EQ(
      messages(),
      (std::vector<std::string>{
          "MSG : Template version in INI :: ", "MSG : Threshold defined for event details is 50",
          "MSG : checking the last EXE execution time",
          "MSG : Last execution was at :: 03/07/2026 10:01:00",
          "Last exection is less than an hour. Last execution time 03/07/2026 10:01:00, "
          "Current time 03/07/2026 10:58:00",
          "MSG : Events will be extracted for last 0 HOURS"}));
}

TEST_F(RunGateTest, WindowFollowsClockHoursCrossed) {
  struct Case {
    const char* lastRun;
    LocalTime now;
    bool mayRun;
    int hours;
    const char* from;
    const char* to;
  } cases[] = {
      {"03/07/2026 10:59:00",
       {2026, 3, 7, 11, 1, 0},
       true,
       1,
       "03/07/2026 10:59:00",
       "03/07/2026 11:01:00"},
      {"03/06/2026 11:30:00",
       {2026, 3, 7, 11, 1, 0},
       true,
       24,
       "03/06/2026 11:30:00",
       "03/07/2026 11:01:00"},
      {"03/06/2026 10:59:59",
       {2026, 3, 7, 11, 1, 0},
       true,
       1,
       "03/07/2026 10:01:00",
       "03/07/2026 11:01:00"},
      {"03/07/2026 12:00:00",
       {2026, 3, 7, 11, 1, 0},
       false,
       -1,
       "03/07/2026 12:00:00",
       "03/07/2026 11:01:00"},
      {"12/31/2025 23:59:59",
       {2026, 1, 1, 0, 0, 0},
       true,
       1,
       "12/31/2025 23:59:59",
       "01/01/2026 00:00:00"},
      {" 3/7/2026 9:05:00 ",
       {2026, 3, 7, 11, 0, 0},
       true,
       2,
       "03/07/2026 09:05:00",
       "03/07/2026 11:00:00"},
  };
  for (const Case& c : cases) {
    RunState state;
    state.installPath = "/agent\\";
    fake.files.addFile(kIni, std::string("[LastRunDateTime]\r\nLastRun=") + c.lastRun + "\r\n");
    now(c.now);
    EXPECT_EQ(fncChkLastRunTime(state, os), c.mayRun) << c.lastRun;
    EXPECT_EQ(state.windowHours, c.hours) << c.lastRun;
    EXPECT_EQ(state.fromTime, c.from) << c.lastRun;
    EXPECT_EQ(state.toTime, c.to) << c.lastRun;
  }
}

TEST_F(RunGateTest, FirstRunCreatesTheFileAndTakesTheLastHour) {
  now({2026, 3, 7, 0, 30, 0});
  EXPECT_TRUE(fncChkLastRunTime(rs, os));
  EXPECT_EQ(fake.files.content(kIni), "[Threshold]\r\nEventDetails=50\r\n");
  EXPECT_EQ(rs.fromTime, "03/06/2026 23:30:00");
  EXPECT_EQ(rs.toTime, "03/07/2026 00:30:00");
  EXPECT_EQ(rs.windowHours, 1);
  EXPECT_EQ(rs.eventThreshold, "50");
  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "MSG : Template version in INI :: ",
                "MSG : Updating the /agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini for "
                "EventDetails, with value 50",
                "MSG : Threshold defined for event details is 50",
                "MSG : checking the last EXE execution time", "MSG : Last execution was at :: ",
                "MSG : Events will be extracted for last 1 HOURS"}));
}

TEST_F(RunGateTest, ThresholdDefaultsAndNormalisation) {
  struct Case {
    const char* stored;  // nullptr: key missing
    const char* threshold;
    bool written;
  } cases[] = {{nullptr, "50", true},  {"0", "50", true},    {"abc", "50", true},
               {"0100", "100", false}, {"75x", "75", false}, {"2.50", "2.5", false},
               {"-5", "-5", false},    {"1 2", "12", false}, {"99999", "99999", false}};
  for (const Case& c : cases) {
    RunState state;
    state.installPath = "/agent\\";
    std::string content = "[Version]\r\nTemplateVersion=3\r\n";
    if (c.stored) content += std::string("[Threshold]\r\nEventDetails=") + c.stored + "\r\n";
    fake.files.addFile(kIni, content);
    int writes = fake.profile.writeCount;
    fncChkLastRunTime(state, os);
    EXPECT_EQ(state.eventThreshold, c.threshold) << (c.stored ? c.stored : "missing");
    EXPECT_EQ(fake.profile.writeCount - writes, c.written ? 1 : 0);
    EXPECT_EQ(fake.profile.value(kIni, "Threshold", "EventDetails"), c.written ? "50" : c.stored);
  }
}

// A LastRun the window cannot start from is reported, then taken as missing: the run goes on
// over the last hour. Up to 24 clock hours ahead the run is refused as before.
TEST_F(RunGateTest, UnusableLastRunIsReportedAndTakenAsMissing) {
  struct Case {
    const char* lastRun;
    bool mayRun;
    int hours;
    const char* reason;
  } cases[] = {
      {"yesterday", true, 1, "Failed to get the exe's last execution time. Type mismatch"},
      {"03/09/2026 12:00:00", true, 1,
       "Last execution time 03/09/2026 12:00:00 lies more than 24 hours ahead of the clock."},
      {"01/01/9999 00:00:00", true, 1,
       "Last execution time 01/01/9999 00:00:00 lies more than 24 hours ahead of the clock."},
      {"03/09/2026 11:59:59", false, -24, "Last exection is less than an hour."},
  };
  now({2026, 3, 8, 11, 0, 0});
  for (const Case& c : cases) {
    RunState state;
    state.installPath = "/agent\\";
    fake.files.addFile(kIni, std::string("[LastRunDateTime]\r\nLastRun=") + c.lastRun + "\r\n");
    EXPECT_EQ(fncChkLastRunTime(state, os), c.mayRun) << c.lastRun;
    EXPECT_EQ(state.failureReason, c.reason) << c.lastRun;
    EXPECT_EQ(state.windowHours, c.hours) << c.lastRun;
    if (c.mayRun) {
      EXPECT_EQ(state.fromTime, "03/08/2026 10:00:00") << c.lastRun;
    }
  }

  for (const char* lastRun : {"yesterday", "03/10/2026 09:30:00"}) {
    fake.files.addFile(kIni, std::string("[LastRunDateTime]\r\nLastRun=") + lastRun + "\r\n");
    EXPECT_TRUE(fncChkLastRunTime(rs, os));
  }
  std::vector<std::string> lines = messages();
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 8),
            (std::vector<std::string>{"MSG : Last execution was at :: yesterday",
                                      "ERR : in fncChkLastRunTime : 13Type mismatch",
                                      "MSG : Events will be extracted for last 1 HOURS",
                                      "MSG : Template version in INI :: "}));
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{
                "MSG : Last execution was at :: 03/10/2026 09:30:00",
                "ERR : in fncChkLastRunTime : Last execution time 03/10/2026 09:30:00 lies more "
                "than 24 hours ahead of the current time 03/08/2026 11:00:00, the last hour is "
                "extracted",
                "MSG : Events will be extracted for last 1 HOURS"}));
}

TEST_F(RunGateTest, LastRunIsReadThroughANinetyNineCharacterBuffer) {
  // 99 characters are read whole: a valid time padded with blanks still reads.
  std::string padded = "03/07/2026 09:00:00" + std::string(80, ' ');
  state("[LastRunDateTime]\r\nLastRun=\"" + padded + "\"\r\n");
  now({2026, 3, 7, 11, 0, 0});
  EXPECT_TRUE(fncChkLastRunTime(rs, os));
  EXPECT_EQ(rs.windowHours, 2);
  // Beyond 99 characters the text is cut before it is read.
  state("[LastRunDateTime]\r\nLastRun=\"" + padded + "junk\"\r\n");
  RunState again;
  again.installPath = "/agent\\";
  EXPECT_TRUE(fncChkLastRunTime(again, os));
  EXPECT_EQ(again.windowHours, 2);
}

}  // namespace
}  // namespace sccevtmon
