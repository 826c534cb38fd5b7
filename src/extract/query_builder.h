#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// The query text for one event log over the window fromTime..toTime (run timestamp texts,
// both bounds included). Fails with a type mismatch when a bound is not a date and time.
Status buildEventQuery(const std::string& logName, const std::string& fromTime,
                       const std::string& toTime, std::string* query);

// Builds the query for logName over the run's window and hands it to fncCreateRecordSet. A
// blank name runs no query. Traps its own errors; failureReason is left to the loading.
void fncGetAllEventDetails(RunState& rs, Platform& os, const std::string& logName);

}  // namespace sccevtmon
