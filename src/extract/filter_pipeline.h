#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/run_state.h"
#include "extract/working_sets.h"

namespace sccevtmon {

// The pieces of text between occurrences of separator, in order; empty pieces are dropped and
// the others kept untrimmed. An empty text gives no piece.
std::vector<std::string> splitList(std::string_view text, std::string_view separator);

// A list field's pieces: every CR LF becomes the separator, one end mark is removed from each
// end, and the text is split by the separator.
std::vector<std::string> prepareList(std::string_view field, std::string_view separator,
                                     std::string_view endMark);

// Narrows the loaded rows for one entry, stage by stage (event type, source names, event IDs,
// description texts, source-and-ID pairs), logging each stage's condition and count. The
// entry's final set is sets.finalRows(). Errors (a pair without ";", a failing record-set
// operation) go to the caller.
Status runFilterPipeline(RunState& rs, const MonitorEntry& entry, WorkingSets& sets);

// Appends what the filter stages pass over or read otherwise than the entry seems to say (an
// unknown event-type code, an ID that is not one, an unknown description mode, a pair the pair
// stage skips or fails on), each as the stage applies it. The notes' entry and offset are left
// to the caller.
void noteFilterProblems(const MonitorEntry& entry, std::vector<TemplateNote>* notes);

}  // namespace sccevtmon
