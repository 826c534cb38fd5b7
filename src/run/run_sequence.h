#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// One whole run, from start-up to the end: template checks, run gate, report files, one
// extraction pass per event log, hand-over of the report files and the status report. Stops
// at the first failure, reporting it. An error no called routine handles ends the run with
// "MSG : Main, " + its description and no report.
void subMain(RunState& rs, Platform& os);

// The extraction of a run and of a replay: creates the report files, writes the template's
// headers, makes one pass per distinct event log the template names and closes the files.
// *lastRunDue: a pass got as far as updating LastRun (the update itself is the caller's).
// Errors of the report files go to the caller.
Status extractTemplateLogs(RunState& rs, Platform& os, bool* lastRunDue);

// The threshold test over the run's detail rows, made only when there are detail rows: more
// rows than the threshold (rounded to a whole number, halves to even, compared in double
// precision so that no threshold can overflow) clears hasDetailRows so the detail file is
// discarded. Logs the total and the detail text copy either way.
void applyEventThreshold(RunState& rs);

}  // namespace sccevtmon
