#include "extract/template_notes.h"

#include "extract/filter_pipeline.h"
#include "extract/row_output.h"

namespace sccevtmon {

std::vector<TemplateNote> templateNotes(const RunState& rs) {
  std::vector<TemplateNote> notes;
  for (const TemplateNote& note : rs.templateNotes) {
    if (note.entry == 0) notes.push_back(note);
  }
  for (std::size_t i = 0; i < rs.monitorEntries.size(); ++i) {
    for (const TemplateNote& note : rs.templateNotes) {
      if (note.entry == i + 1) notes.push_back(note);
    }
    if (!rs.templateFailure.empty()) continue;
    const MonitorEntry& entry = rs.monitorEntries[i];
    const std::size_t first = notes.size();
    noteFilterProblems(entry, &notes);
    noteOutputOptionProblem(entry, &notes);
    for (std::size_t n = first; n < notes.size(); ++n) {
      notes[n].entry = i + 1;
      notes[n].offset = entry.offset;
    }
  }
  return notes;
}

std::string templateNoteLine(const RunState& rs, const TemplateNote& note) {
  std::string about = "Template";
  if (note.entry > 0 && note.entry <= rs.monitorEntries.size()) {
    // An entry without its scriptid (the parse stopped there) goes by its number.
    const std::string& id = rs.monitorEntries[note.entry - 1].scriptid;
    about += " entry " + (id.empty() ? "#" + std::to_string(note.entry) : id);
  }
  return "ERR : " + about + ": " + note.what + "; " + note.runDoes;
}

void logTemplateNotes(RunState& rs) {
  for (const TemplateNote& note : templateNotes(rs)) subWriteLog(rs, templateNoteLine(rs, note));
}

}  // namespace sccevtmon
