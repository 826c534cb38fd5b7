#include "extract/filter_pipeline.h"

#include "base/text.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

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
    std::string code = trimSpaces(piece);
    const char* type = code == "1"    ? "Error event"
                       : code == "2"  ? "Warning event"
                       : code == "4"  ? "Information event"
                       : code == "8"  ? "Success Audit event"
                       : code == "16" ? "Failure Audit event"
                                      : nullptr;
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

  bool knownMode = mode == "starts with" || mode == "ends with" || mode == "contain" ||
                   mode == "does not contain";
  if (!knownMode) {
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

}  // namespace sccevtmon
