#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Settles the event threshold (writing the default 50 when none is set), applies the run gate
// (a run in the same clock hour as LastRun, or up to 24 hours before it, is refused) and sets
// executionIniPath, eventThreshold, fromTime, toTime and windowHours. False: the run must stop
// and failureReason says why. A LastRun that is not a date and time, or lies more than 24
// hours ahead, is logged and set as failureReason, and the run goes on as on a first run
// (the last hour). Traps its own errors.
bool fncChkLastRunTime(RunState& rs, Platform& os);

// The execution-state file of an installation path.
std::string executionIniPathOf(const std::string& installPath);

}  // namespace sccevtmon
