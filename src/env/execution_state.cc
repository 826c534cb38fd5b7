#include "env/execution_state.h"

#include "base/text.h"
#include "base/time_stamp.h"
#include "env/identity.h"
#include "env/settings.h"

namespace sccevtmon {
namespace {

// Reads a key of the execution-state file through a 100-character buffer.
std::string readState(Platform& os, const std::string& file, const std::string& section,
                      const std::string& key) {
  std::string buffer(100, ' ');
  os.profile.getString(section, key, "", buffer, file);
  return fncStripAtNull(buffer);
}

// The error line and failure reason of a LastRun that cannot be read.
void reportLastRunError(RunState& rs, const Status& s) {
  subWriteLog(rs, "ERR : in fncChkLastRunTime : " + decimal(s.number) + s.description);
  rs.failureReason = "Failed to get the exe's last execution time. " + s.description;
}

Status checkLastRun(RunState& rs, Platform& os, bool* mayRun) {
  rs.executionIniPath = executionIniPathOf(rs.installPath);
  const std::string& ini = rs.executionIniPath;

  subWriteLog(
      rs, "MSG : Template version in INI :: " + readState(os, ini, "Version", "TemplateVersion"));
  rs.eventThreshold = readState(os, ini, "Threshold", "EventDetails");
  double threshold = numericValue(rs.eventThreshold);
  if (threshold == 0) {
    rs.eventThreshold = "50";
    subWriteLog(rs, "MSG : Updating the " + ini + " for EventDetails, with value 50");
    fncWriteIniValue(os, ini, "Threshold", "EventDetails", "50");
  } else {
    rs.eventThreshold = numberText(threshold);
  }
  subWriteLog(rs, "MSG : Threshold defined for event details is " +
                      numberText(numericValue(rs.eventThreshold)));

  subWriteLog(rs, "MSG : checking the last EXE execution time");
  LocalTime now = os.clock.now();
  LocalTime from = addSeconds(now, -3600);
  long long hours = 1;
  std::string lastRunText;
  std::optional<LocalTime> lastRun;
  bool fileExists = os.files.fileExists(ini);
  if (fileExists) {
    lastRunText = readState(os, ini, "LastRunDateTime", "LastRun");
    subWriteLog(rs, "MSG : Last execution was at :: " + lastRunText);
  }
  if (fileExists && !trimSpaces(lastRunText).empty()) {
    lastRun = parseRunTimestamp(lastRunText);
    long long d = lastRun ? clockHour(now) - clockHour(*lastRun) : 0;
    if (!lastRun) {
      // Refusing the run would refuse every later one too: the value is reported and taken
      // as missing, and this run's pass writes a good one.
      reportLastRunError(rs, runtimeError(kErrTypeMismatch));
    } else if (d < -24) {
      // The clock was moved back. Waiting for it to catch up would refuse every run until
      // then, so a LastRun more than 24 hours ahead is reported and taken as missing too.
      subWriteLog(rs, "ERR : in fncChkLastRunTime : Last execution time " + runTimestamp(*lastRun) +
                          " lies more than 24 hours ahead of the current time " +
                          runTimestamp(now) + ", the last hour is extracted");
      rs.failureReason = "Last execution time " + runTimestamp(*lastRun) +
                         " lies more than 24 hours ahead of the clock.";
    } else if (d <= 24) {
      from = *lastRun;
      hours = d;
    }
  }
  rs.fromTime = runTimestamp(from);
  rs.toTime = runTimestamp(now);
  rs.windowHours = static_cast<std::int16_t>(hours);

  *mayRun = true;
  if (rs.windowHours < 1) {
    subWriteLog(rs, "Last exection is less than an hour. Last execution time " +
                        runTimestamp(*lastRun) + ", Current time " + runTimestamp(now));
    rs.failureReason = "Last exection is less than an hour.";
    *mayRun = false;
  }
  subWriteLog(rs, "MSG : Events will be extracted for last " + decimal(rs.windowHours) + " HOURS");
  return Status::success();
}

}  // namespace

std::string executionIniPathOf(const std::string& installPath) {
  return installPath + "qSCC\\MonitorTemplate\\" + "SCC_EventLog_Execution.ini";
}

bool fncChkLastRunTime(RunState& rs, Platform& os) {
  bool mayRun = false;
  Status s = checkLastRun(rs, os, &mayRun);
  if (!s.ok()) {
    reportLastRunError(rs, s);
    return false;
  }
  return mayRun;
}

}  // namespace sccevtmon
