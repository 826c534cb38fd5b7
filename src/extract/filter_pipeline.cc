#include "extract/filter_pipeline.h"

#include <algorithm>

#include "base/text.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

// The codes of <evnttype> and the event types they stand for.
struct EventTypeCode {
  const char* code;
  const char* type;
};
constexpr EventTypeCode kEventTypeCodes[] = {{"1", "Error event"},
                                             {"2", "Warning event"},
                                             {"4", "Information event"},
                                             {"8", "Success Audit event"},
                                             {"16", "Failure Audit event"}};

const char* eventTypeOfCode(const std::string& code) {
  for (const EventTypeCode& c : kEventTypeCodes) {
    if (code == c.code) return c.type;
  }
  return nullptr;
}

// The modes of <evntdescstrt>, compared in lower case.
constexpr const char* kDescriptionModes[] = {"starts with", "ends with", "contain",
                                             "does not contain"};

bool isDescriptionMode(const std::string& mode) {
  return std::find(std::begin(kDescriptionModes), std::end(kDescriptionModes), mode) !=
         std::end(kDescriptionModes);
}

bool blank(std::string_view text) { return trimSpaces(text).empty(); }

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The row's text of a column, or nothing for null.
FieldText text(const RecordSet& set, EventColumn column) { return set.valueAt(column); }

std::string_view trimmedSpaces(std::string_view text) { return trimAscii(text, " "); }

// Every piece between the separator characters, empty ones included.
std::vector<std::string> splitEvery(const std::string& text, char separator) {
  std::vector<std::string> all;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    all.push_back(text.substr(start, at - start));
  }
  all.push_back(text.substr(start));
  return all;
}

// Walks input and appends every row keep() accepts to output; returns how many passed.
template <typename Keep>
Status filterRows(RecordSet& input, RecordSet& output, Keep keep, std::size_t* passed) {
  *passed = 0;
  for (input.moveFirst(); !input.atEnd(); input.moveNext()) {
    if (!keep(input)) continue;
    if (Status s = output.addRowFrom(input); !s.ok()) return s;
    ++*passed;
  }
  return Status::success();
}

Status eventTypeStage(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  if (trimSpaces(entry.evnttype) == "0") {
    sets.typeRows.deleteAll();
    return sets.typeRows.copyAllFrom(sets.loadedRows);
  }
  sets.loadedRows.clearFilter();
  std::string condition;
  for (const std::string& piece : splitEvery(entry.evnttype, ';')) {
    const char* type = eventTypeOfCode(trimSpaces(piece));
    if (type == nullptr) continue;
    if (!blank(condition)) condition += " OR ";
    condition += std::string("evttype ='") + type + "'";
  }
  if (!blank(condition)) condition = "(" + condition + ")";
  sets.typeRows.deleteAll();
  subWriteLog(rs, "MSG : Filter Condition on Event Type :: " + condition);
  if (Status s = sets.loadedRows.setFilter(condition); !s.ok()) return s;
  subWriteLog(rs, "MSG : Record Count after Filter Condition :: " +
                      decimal(static_cast<long long>(sets.loadedRows.recordCount())));
  return sets.typeRows.copyAllFrom(sets.loadedRows);
}

// Stages 2 and 3: rows whose column, trimmed and in upper case, equals one of the pieces.
Status matchStage(RunState& rs, const std::string& field, EventColumn column,
                  const char* conditionName, const char* logText, RecordSet& input,
                  RecordSet& output) {
  if (blank(field)) {
    output.deleteAll();
    return output.copyAllFrom(input);
  }
  std::vector<std::string> pieces = prepareList(field, ",", ",");
  std::string condition;
  std::vector<std::string> wanted;
  for (const std::string& piece : pieces) {
    std::string trimmed = trimSpaces(piece);
    wanted.push_back(toUpperAnsi(trimmed));
    if (!trimmed.empty()) condition += std::string(" OR ") + conditionName + " = '" + trimmed + "'";
  }
  // Three characters go, not four: the logged condition keeps a leading blank, as it always has.
  if (condition.rfind(" OR", 0) == 0) condition.erase(0, 3);
  output.deleteAll();
  input.clearFilter();
  subWriteLog(rs, logText + condition);
  std::size_t passed = 0;
  Status s = filterRows(
      input, output,
      [&](const RecordSet& row) {
        FieldText value = text(row, column);
        if (!value) return false;
        std::string_view have = trimmedSpaces(*value);
        for (const std::string& w : wanted) {
          if (upperEquals(have, w)) return true;
        }
        return false;
      },
      &passed);
  if (!s.ok()) return s;
  subWriteLog(rs, "MSG : Record Count after Filter Condition :: " +
                      decimal(static_cast<long long>(passed)));
  return Status::success();
}

// A description piece as the tests compare it: in upper case, whole for the "contain" modes,
// without its outer spaces for the others.
struct Piece {
  std::string text;   // as written, for the log
  std::string upper;  // as compared
};

std::vector<Piece> comparedPieces(const std::vector<std::string>& pieces, const std::string& mode) {
  const bool whole = mode == "contain" || mode == "does not contain";
  std::vector<Piece> out;
  for (const std::string& p : pieces) {
    out.push_back({p, toUpperAnsi(whole ? std::string_view(p) : trimmedSpaces(p))});
  }
  return out;
}

// Whether a piece holds for a message (upperMsg: the message in upper case) in a description
// mode.
bool pieceHolds(const std::string& mode, std::string_view upperMsg, const Piece& piece) {
  const std::string& p = piece.upper;
  if (mode == "contain" || mode == "does not contain") {
    return upperMsg.find(p) != std::string_view::npos;
  }
  std::string_view m = trimmedSpaces(upperMsg);
  if (p.size() > m.size()) return false;
  if (mode == "starts with") return m.compare(0, p.size(), p) == 0;
  return m.compare(m.size() - p.size(), p.size(), p) == 0;  // ends with
}

Status descriptionStage(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  if (blank(entry.evntdesc)) {
    sets.descRows.deleteAll();
    return sets.descRows.copyAllFrom(sets.idRows);
  }
  std::vector<std::string> pieces = prepareList(entry.evntdesc, "##", "##");
  const std::string mode = toLowerAnsi(trimSpaces(entry.evntdescstrt));
  const std::string& joiner = entry.evntdescandor;
  std::string condition;
  for (const std::string& piece : pieces) {
    std::string p = trimSpaces(piece);
    if (p.empty()) continue;
    if (mode == "starts with") {
      condition += " " + joiner + " msg LIKE '" + p + "%'";
    } else if (mode == "ends with") {
      condition += " " + joiner + " msg LIKE '%" + p + "'";
    } else if (mode == "contain") {
      condition += " " + joiner + " msg LIKE '%" + p + "%'";
    } else if (mode == "does not contain") {
      condition += " " + joiner + " msg NOT LIKE '%" + p + "%'";
    }
  }
  // The first joiner goes without its trailing blank: the logged condition keeps a leading blank.
  if (condition.rfind(" OR", 0) == 0) condition.erase(0, 3);
  if (condition.rfind(" AND", 0) == 0) condition.erase(0, 4);
  sets.descRows.deleteAll();
  sets.idRows.clearFilter();
  subWriteLog(rs, "MSG : Filter Condition for Description :: " + condition);
  subWriteLog(rs, "MSG : Filter on :: " + entry.evntdescstrt);

  if (!isDescriptionMode(mode)) {
    if (Status s = sets.idRows.setFilter(condition); !s.ok()) return s;
    subWriteLog(rs, "MSG : Record Count after Filter Condition :: " +
                        decimal(static_cast<long long>(sets.idRows.recordCount())));
    return sets.descRows.copyAllFrom(sets.idRows);
  }
  const std::string join = toUpperAnsi(trimSpaces(joiner));
  const bool negate = mode == "does not contain";
  const std::vector<Piece> compared = comparedPieces(pieces, mode);
  std::size_t passed = 0;
  Status s = filterRows(
      sets.idRows, sets.descRows,
      [&](const RecordSet& row) {
        const std::string_view upperMsg = sets.upperMessage(row);
        bool match = false;
        if (compared.size() > 1) {
          if (join == "AND") {
            subWriteLog(rs, "MSG : AND CONDITION");
            const std::string_view msg = text(row, kMsg).value_or(std::string_view());
            for (const Piece& piece : compared) {
              subWriteLog(rs, std::string(msg) + "----" + piece.text);
              match = pieceHolds(mode, upperMsg, piece);
              if (!match) {
                // The log has always said so, without a prefix; readers of the log match it.
                subWriteLog(rs, "Exiting FOR");
                break;
              }
            }
          } else if (join == "OR") {
            // Only these two modes have ever logged the OR line; the other two stay silent.
            if (mode == "does not contain" || mode == "starts with") {
              subWriteLog(rs, "MSG : OR CONDITION");
            }
            for (const Piece& piece : compared) match = pieceHolds(mode, upperMsg, piece) || match;
          }
        } else if (compared.size() == 1) {
          match = pieceHolds(mode, upperMsg, compared[0]);
        }
        return negate ? !match : match;
      },
      &passed);
  if (!s.ok()) return s;
  subWriteLog(rs, "MSG : Record Count after Filter Condition :: " +
                      decimal(static_cast<long long>(passed)));
  return Status::success();
}

Status pairStage(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  if (blank(entry.evntsourandid)) {
    sets.typeRows.deleteAll();
    return sets.typeRows.copyAllFrom(sets.descRows);
  }
  subWriteLog(rs, "MSG : Event Source & ID :: " + entry.evntsourandid);
  sets.pairsSeen = true;
  std::vector<std::string> pairs = prepareList(entry.evntsourandid, "##", ",");
  sets.typeRows.deleteAll();
  for (const std::string& pair : pairs) {
    std::string trimmed = trimSpaces(pair);
    size_t semicolon = trimmed.find(';');
    // Without ";" the whole pair counts as its ID part (and then gives no source).
    std::string idPart = semicolon == std::string::npos ? trimmed : trimmed.substr(semicolon + 1);
    if (idPart.find_first_not_of(',') == std::string::npos) continue;
    if (semicolon == std::string::npos) return runtimeError(kErrInvalidCall);
    // The source is cut from the same trimmed pair the ";" was found in.
    std::string source = trimmed.substr(0, semicolon);
    std::vector<std::string> ids = splitList(idPart, ",");
    for (std::string& id : ids) id = trimSpaces(id);
    if (sets.descRows.recordCount() == 0) continue;
    for (sets.descRows.moveFirst(); !sets.descRows.atEnd(); sets.descRows.moveNext()) {
      FieldText src = text(sets.descRows, kEvtSrc);
      if (!src || *src != source) continue;
      FieldText evtid = text(sets.descRows, kEvtId);
      for (const std::string& id : ids) {
        if (!evtid || *evtid != id) continue;
        subWriteLog(rs, "Adding " + std::string(*src) + ":" + std::string(*evtid));
        if (Status s = sets.typeRows.addRowFrom(sets.descRows); !s.ok()) return s;
      }
    }
    subWriteLog(rs, "MSG : Record count after filter conditions :: " +
                        decimal(static_cast<long long>(sets.typeRows.recordCount())));
  }
  return Status::success();
}

}  // namespace

std::vector<std::string> splitList(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, start)) {
    if (at > start) pieces.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  if (start < text.size()) pieces.emplace_back(text.substr(start));
  return pieces;
}

std::vector<std::string> prepareList(std::string_view field, std::string_view separator,
                                     std::string_view endMark) {
  std::string text = replaceAll(std::string(field), "\r\n", separator);
  if (!endMark.empty() && text.rfind(endMark, 0) == 0) text.erase(0, endMark.size());
  if (!endMark.empty() && text.size() >= endMark.size() &&
      text.compare(text.size() - endMark.size(), endMark.size(), endMark) == 0) {
    text.erase(text.size() - endMark.size());
  }
  return splitList(text, separator);
}

Status runFilterPipeline(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  if (Status s = eventTypeStage(rs, entry, sets); !s.ok()) return s;
  if (Status s =
          matchStage(rs, entry.evntsource, kEvtSrc, "evtsrc",
                     "MSG : Filter Condition for Source Name :: ", sets.typeRows, sets.sourceRows);
      !s.ok()) {
    return s;
  }
  if (Status s =
          matchStage(rs, entry.evntid, kEvtId, "evtid",
                     "MSG : Filter Condition for Event ID :: ", sets.sourceRows, sets.idRows);
      !s.ok()) {
    return s;
  }
  if (Status s = descriptionStage(rs, entry, sets); !s.ok()) return s;
  return pairStage(rs, entry, sets);
}

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// "a, b and c"
std::string listed(const std::vector<std::string>& items, const std::string& last) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += (i == 0 ? "" : i + 1 == items.size() ? " " + last + " " : ", ") + items[i];
  }
  return out;
}

// A whole number an event ID can be (the column holds IDs without their qualifiers).
bool isEventId(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= 65535;
}

void noteEventTypes(const MonitorEntry& entry, std::vector<TemplateNote>* notes) {
  const std::string& types = entry.evnttype;
  const std::string all = trimSpaces(types);
  if (all == "0") return;
  if (all.empty()) {
    notes->push_back({0, TemplateNote::kNoOffset, true, "<evnttype> is empty",
                      "every event type is reported", "write 0 to say so"});
    return;
  }
  bool anyKnown = false;
  std::string skipped;
  for (const std::string& piece : splitEvery(types, ';')) {
    const std::string code = trimSpaces(piece);
    if (eventTypeOfCode(code) != nullptr) {
      anyKnown = true;
    } else if (!code.empty()) {
      skipped += (skipped.empty() ? "" : " and ") + quoted(code);
    }
  }
  if (skipped.empty()) return;
  std::vector<std::string> codes;
  for (const EventTypeCode& c : kEventTypeCodes) {
    const std::string_view type(c.type);
    codes.push_back(std::string(c.code) + " (" +
                    toLowerAnsi(std::string(type.substr(0, type.rfind(" event")))) + ")");
  }
  notes->push_back({0, TemplateNote::kNoOffset, false, "<evnttype> " + quoted(types),
                    "a run skips " + skipped + (anyKnown ? "" : ", so every event type passes"),
                    "the codes are " + listed(codes, "and") +
                        ", separated by \";\", or 0 alone for every type"});
}

// <evntsource> and <evntid>: lists of names or IDs, separated by ",".
void noteList(const char* element, const std::string& value, const char* item, bool numbers,
              std::vector<TemplateNote>* notes) {
  if (blank(value)) return;
  int named = 0;
  for (const std::string& piece : prepareList(value, ",", ",")) {
    const std::string t = trimSpaces(piece);
    if (t.empty()) continue;
    ++named;
    if (numbers && !isEventId(t)) {
      notes->push_back({0, TemplateNote::kNoOffset, false,
                        std::string(item) + " " + quoted(t) + " in <" + element +
                            "> is not a number from 0 to 65535",
                        "no event has it", "write event IDs as numbers separated by \",\""});
    }
  }
  if (named == 0) {
    notes->push_back({0, TemplateNote::kNoOffset, false,
                      std::string("<") + element + "> holds no " + item, "no event passes",
                      "name them, separated by \",\""});
  }
}

void noteDescription(const MonitorEntry& entry, std::vector<TemplateNote>* notes) {
  if (blank(entry.evntdesc)) return;
  const std::string mode = toLowerAnsi(trimSpaces(entry.evntdescstrt));
  if (!isDescriptionMode(mode)) {
    std::vector<std::string> modes;
    for (const char* m : kDescriptionModes) modes.push_back(quoted(m));
    notes->push_back(
        {0, TemplateNote::kNoOffset, false,
         "<evntdescstrt> " + quoted(entry.evntdescstrt) + " is not " + listed(modes, "or"),
         "a run ignores <evntdesc> and reports every event", "write one of the four"});
    return;
  }
  const std::string join = toUpperAnsi(trimSpaces(entry.evntdescandor));
  if (prepareList(entry.evntdesc, "##", "##").size() > 1 && join != "AND" && join != "OR") {
    notes->push_back({0, TemplateNote::kNoOffset, false,
                      "<evntdescandor> " + quoted(entry.evntdescandor) + " is neither AND nor OR",
                      std::string("with several texts a run reports ") +
                          (mode == "does not contain" ? "every" : "no") + " event",
                      "write AND or OR"});
  }
}

void notePairs(const MonitorEntry& entry, std::vector<TemplateNote>* notes) {
  if (blank(entry.evntsourandid)) return;
  const std::string form = "write SOURCE;ID,ID";
  for (const std::string& pair : prepareList(entry.evntsourandid, "##", ",")) {
    const std::string trimmed = trimSpaces(pair);
    const std::size_t semicolon = trimmed.find(';');
    const std::string ids =
        semicolon == std::string::npos ? trimmed : trimmed.substr(semicolon + 1);
    const std::string about = "pair " + quoted(pair) + " in <evntsourandid>";
    auto note = [&](const std::string& what, const std::string& runDoes) {
      notes->push_back({0, TemplateNote::kNoOffset, false, what, runDoes, form});
    };
    // As the pair stage reads them: a pair without IDs is passed over before its ";" is looked
    // for, and one without ";" fails the log's pass.
    if (ids.find_first_not_of(',') == std::string::npos) {
      note(about + " has no event ID", "a run skips it");
      continue;
    }
    if (semicolon == std::string::npos) {
      note(about + " has no \";\" between source and IDs",
           "the pass over " + quoted(trimSpaces(entry.evntlgsourcestr)) +
               " fails at this entry and a run reports \"" + runtimeErrorText(kErrInvalidCall) +
               "\"");
      continue;
    }
    if (trimSpaces(trimmed.substr(0, semicolon)).empty()) {
      note(about + " names no source", "no event matches it");
    }
    for (const std::string& id : splitList(ids, ",")) {
      const std::string t = trimSpaces(id);
      if (!t.empty() && !isEventId(t)) {
        note(about + ": event ID " + quoted(t) + " is not a number from 0 to 65535",
             "no event has it");
      }
    }
  }
}

}  // namespace

void noteFilterProblems(const MonitorEntry& entry, std::vector<TemplateNote>* notes) {
  noteEventTypes(entry, notes);
  noteList("evntsource", entry.evntsource, "source name", false, notes);
  noteList("evntid", entry.evntid, "event ID", true, notes);
  noteDescription(entry, notes);
  notePairs(entry, notes);
}

}  // namespace sccevtmon
