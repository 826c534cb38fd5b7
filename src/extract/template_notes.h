#pragma once

#include <string>
#include <vector>

#include "base/run_state.h"

namespace sccevtmon {

// Everything a run notes about the template it parsed, in the order the run logs it: the
// template's own notes, then each entry's (the parser's, then those of the filter stages and
// the row output, which know their fields best). A template the parser could not read whole is
// reported by its failure; its entries' fields are not judged then.
std::vector<TemplateNote> templateNotes(const RunState& rs);

// "ERR : Template entry <scriptid>: <what>; <what a run does>", or "ERR : Template: ..." for
// the template as a whole.
std::string templateNoteLine(const RunState& rs, const TemplateNote& note);

// Logs every note of the parsed template; the run does this right after parsing it.
void logTemplateNotes(RunState& rs);

}  // namespace sccevtmon
