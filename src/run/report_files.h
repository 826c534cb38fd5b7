#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Creates the summary and then the detail report file in the installation folder, each named
// with its own time stamp and written aside until the hand-over puts it in place, and writes
// their headers to the files and to summaryXml and detailXml. Errors go to the caller.
Status createReportFiles(RunState& rs, Platform& os);

// Writes the tid, tver and exever elements to the detail file, then to the summary file.
Status writeTemplateHeaders(RunState& rs);

// Writes the summary file's closing element and closes both files (what they hold is then on
// disk).
Status closeReportFiles(RunState& rs);

}  // namespace sccevtmon
