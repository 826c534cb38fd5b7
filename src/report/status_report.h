#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Sends the status report and, when the run failed or exceeded its threshold, the failure
// report (unless the previous run reported the same failure), keeping a report that cannot be
// posted as a file in the post-logs folder, and keeps [LastFailure] of the execution-state
// file up to date. Sets executionStatus to 1 when no failure was known on entry. Traps its own
// errors: the first one ends it with "ERR : fncPostExecutionStatus, " and the description, and
// gives false; true when it ran to its end.
bool fncPostExecutionStatus(RunState& rs, Platform& os);

// The report texts and URL pieces, exposed for the tests.

// <wpdcmscctmpevtlgst>...</wpdcmscctmpevtlgst> of the run, on one line.
std::string statusReportXml(const RunState& rs);
// <wpdcmscctmpevtlgfail>...</wpdcmscctmpevtlgfail> of the run, on one line.
std::string failureReportXml(const RunState& rs);
// "PAGE?mmid=..&sid=..&rid=..&rty=.." with the values percent-encoded.
std::string reportPageAndQuery(const RunState& rs, const std::string& page);
// Every byte outside A-Z a-z 0-9 - . _ ~ as %XX in upper case.
std::string percentEncode(const std::string& value);
// The stored report files' stamp: MMDDYYYYHHNNSS and the second once more without a leading
// zero ("...055" at 5 seconds, "...4242" at 42).
std::string spoolStamp(const LocalTime& t);

}  // namespace sccevtmon
