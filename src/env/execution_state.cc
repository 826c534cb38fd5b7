#include "env/execution_state.h"

#include "base/text.h"
#include "base/time_stamp.h"
#include "env/identity.h"
#include "env/settings.h"
#include "platform/install_layout.h"

namespace sccevtmon {
namespace {

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
  bool defaulted = false;
  rs.eventThreshold = settledThreshold(readState(os, ini, "Threshold", "EventDetails"), &defaulted);
  if (defaulted) {
    subWriteLog(rs,
                "MSG : Updating the " + ini + " for EventDetails, with value " + kDefaultThreshold);
    fncWriteIniValue(os, ini, "Threshold", "EventDetails", kDefaultThreshold);
  }
  subWriteLog(rs, "MSG : Threshold defined for event details is " +
                      numberText(numericValue(rs.eventThreshold)));

  subWriteLog(rs, "MSG : checking the last EXE execution time");
  LocalTime now = os.clock.now();
  std::string lastRunText;
  if (os.files.fileExists(ini)) {
    lastRunText = readState(os, ini, "LastRunDateTime", "LastRun");
    subWriteLog(rs, "MSG : Last execution was at :: " + lastRunText);
  }
  const RunGate gate = decideRunGate(lastRunText, now);
  if (gate.kind == RunGate::Kind::kUnreadable) {
    reportLastRunError(rs, runtimeError(kErrTypeMismatch));
  } else if (gate.kind == RunGate::Kind::kFarAhead) {
    subWriteLog(rs, "ERR : in fncChkLastRunTime : Last execution time " +
                        runTimestamp(*gate.lastRun) +
                        " lies more than 24 hours ahead of the current time " + runTimestamp(now) +
                        ", the last hour is extracted");
    rs.failureReason = "Last execution time " + runTimestamp(*gate.lastRun) +
                       " lies more than 24 hours ahead of the clock.";
  }
  rs.fromTime = runTimestamp(gate.from);
  rs.toTime = runTimestamp(now);
  rs.windowHours = static_cast<std::int16_t>(gate.hours);

  *mayRun = true;
  if (gate.kind == RunGate::Kind::kRefused) {
    subWriteLog(rs, "Last exection is less than an hour. Last execution time " +
                        runTimestamp(*gate.lastRun) + ", Current time " + runTimestamp(now));
    rs.failureReason = "Last exection is less than an hour.";
    *mayRun = false;
  }
  subWriteLog(rs, "MSG : Events will be extracted for last " + decimal(rs.windowHours) + " HOURS");
  return Status::success();
}

}  // namespace

std::string readState(Platform& os, const std::string& file, const std::string& section,
                      const std::string& key) {
  std::string buffer(100, ' ');
  os.profile.getString(section, key, "", buffer, file);
  return fncStripAtNull(buffer);
}

std::string settledThreshold(const std::string& stored, bool* defaulted) {
  const double threshold = numericValue(stored);
  *defaulted = threshold == 0;
  return *defaulted ? kDefaultThreshold : numberText(threshold);
}

RunGate decideRunGate(const std::string& lastRunText, LocalTime now) {
  RunGate gate;
  gate.from = addSeconds(now, -3600);
  if (trimSpaces(lastRunText).empty()) return gate;
  gate.lastRun = parseRunTimestamp(lastRunText);
  if (!gate.lastRun) {
    // Refusing the run would refuse every later one too: the value is reported and taken as
    // missing, and this run's pass writes a good one.
    gate.kind = RunGate::Kind::kUnreadable;
    return gate;
  }
  const long long hours = clockHour(now) - clockHour(*gate.lastRun);
  if (hours < -24) {
    // The clock was moved back. Waiting for it to catch up would refuse every run until then,
    // so a LastRun more than 24 hours ahead is reported and taken as missing too.
    gate.kind = RunGate::Kind::kFarAhead;
  } else if (hours < 1) {
    gate.kind = RunGate::Kind::kRefused;
    gate.from = *gate.lastRun;
    gate.hours = hours;
  } else if (hours <= 24) {
    gate.kind = RunGate::Kind::kSince;
    gate.from = *gate.lastRun;
    gate.hours = hours;
  } else {
    gate.kind = RunGate::Kind::kTooOld;
  }
  return gate;
}

std::string executionIniPathOf(const std::string& installPath) {
  return installPath + layout::kExecutionStateFile;
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
