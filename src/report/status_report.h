#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Sends the status report and, when the run failed or exceeded its threshold, the failure
// report (unless the previous run reported the same failure), keeping a report that cannot be
// posted as a file in the post-logs folder. Traps its own errors.
bool fncPostExecutionStatus(RunState& rs, Platform& os);

}  // namespace sccevtmon
