#include "extract/query_builder.h"

#include <cstdio>
#include <exception>

#include "base/text.h"
#include "base/time_stamp.h"
#include "extract/record_loading.h"

namespace sccevtmon {
namespace {

std::string queryTime(const LocalTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return buffer;
}

}  // namespace

Status buildEventQuery(const std::string& logName, const std::string& fromTime,
                       const std::string& toTime, std::string* query) {
  std::optional<LocalTime> from = parseRunTimestamp(fromTime);
  std::optional<LocalTime> to = parseRunTimestamp(toTime);
  if (!from || !to) return runtimeError(kErrTypeMismatch);
  *query =
      "SELECT EventTypeName AS evttype, "
      "TimeGenerated AS datetime, SourceName AS evtsrc, "
      "EventCategoryName AS cat, EventID as evtid,  Message as msg "
      " FROM '" +
      logName + "' WHERE 0=0 " + " AND TimeGenerated Between TIMESTAMP('" + queryTime(*from) +
      "','yyyy-MM-dd hh:mm:ss')" + " AND TIMESTAMP('" + queryTime(*to) + "','yyyy-MM-dd hh:mm:ss')";
  return Status::success();
}

void fncGetAllEventDetails(RunState& rs, Platform&, const std::string& logName) {
  subWriteLog(rs,
              "MSG : fncGetAllEventDetails, Extracting the data from event log for the "
              "source, " +
                  logName);
  try {
    std::string query;
    Status s = buildEventQuery(logName, rs.fromTime, rs.toTime, &query);
    if (!s.ok()) {
      subWriteLog(rs, "ERR : fncGetEventDetails, " + s.description);
      return;
    }
    if (trimSpaces(logName).empty()) {
      subWriteLog(rs, "MSG : Default Event Log Source cannot be blank.");
      return;
    }
    fncCreateRecordSet(rs, rs.logQuery, query, logName, rs.failureReason);
  } catch (const std::exception& e) {
    // Only a failed allocation can end up here.
    subWriteLog(rs, std::string("ERR : fncGetEventDetails, ") + e.what());
  }
}

}  // namespace sccevtmon
