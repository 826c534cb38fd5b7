#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Settles the event threshold (writing the default 50 when none is set), applies the run gate
// (a run in the same clock hour as LastRun is refused) and sets executionIniPath,
// eventThreshold, fromTime, toTime and windowHours. False: the run must stop and failureReason
// says why. Traps its own errors (an unreadable LastRun, an hour count out of range).
bool fncChkLastRunTime(RunState& rs, Platform& os);

// The execution-state file of an installation path.
std::string executionIniPathOf(const std::string& installPath);

}  // namespace sccevtmon
