#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "extract/working_sets.h"

namespace sccevtmon {

// An entry's output option as a 16-bit whole number (blanks around it allowed, halves rounded
// to even); a text that is not such a number fails.
Status outputOption(const std::string& text, std::int16_t* option);

// Appends the note of an output option that is not 1 (summary rows), 2 (detail rows) or 3
// (both), with what a run does with it. The note's entry and offset are left to the caller.
void noteOutputOptionProblem(const MonitorEntry& entry, std::vector<TemplateNote>* notes);

// Writes the entry's final rows: detail rows to the detail file (options 2 and 3), counting
// each in totalEventCount, and every row into the entry's summary groups. Errors go to the
// caller.
Status writeEntryRows(RunState& rs, const MonitorEntry& entry, WorkingSets& sets);

// Writes one summary row per group of the entry (options 1 and 3). Errors go to the caller.
Status writeSummaryRows(RunState& rs, const MonitorEntry& entry, WorkingSets& sets);

}  // namespace sccevtmon
