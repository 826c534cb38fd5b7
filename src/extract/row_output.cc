#include "extract/row_output.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/text.h"
#include "base/time_stamp.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

// The stored date and time in the report's MM/DD/YYYY HH:NN:SS form. The query engine gives it
// month first; an ISO text (YYYY-MM-DD HH:NN:SS) is read too. A text that is neither is written
// as stored.
std::string reportTime(std::string_view storedText) {
  std::string stored(storedText);
  if (auto t = parseRunTimestamp(stored)) return runTimestamp(*t);
  LocalTime t;
  char tail = 0;
  if (std::sscanf(stored.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                  &t.minute, &t.second, &tail) == 6 &&
      isValidLocalTime(t)) {
    return runTimestamp(t);
  }
  return stored;
}

std::string cdataElement(const std::string& tag, FieldText value) {
  return "<" + tag + ">" + cdataSection(value.value_or(std::string_view())) + "</" + tag + ">";
}

std::string cdataElement(const std::string& tag, const FieldValue& value) {
  return cdataElement(tag, value ? FieldText(*value) : std::nullopt);
}

Status writeLines(TextStream& stream, std::string& copy, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (Status s = stream.writeLine(line); !s.ok()) return s;
    appendToCopy(copy, line);
  }
  return Status::success();
}

std::string scriptNumber(const std::string& text) { return numberText(numericValue(text)); }

Status handleRow(RunState& rs, const MonitorEntry& entry, std::int16_t option, WorkingSets& sets,
                 RecordSet& rows) {
  if (option == 2 || option == 3) {
    if (rs.totalEventCount == std::numeric_limits<std::int32_t>::max()) {
      return runtimeError(kErrOverflow);
    }
    rs.hasDetailRows = true;
    ++rs.totalEventCount;
    FieldText when = rows.valueAt(kDateTime);
    FieldValue time = when ? FieldValue(reportTime(*when)) : FieldValue();
    if (Status s = writeLines(
            *rs.detailStream, rs.detailXml,
            {"<ROW>", "<scrid>" + scriptNumber(entry.scriptid) + "</scrid>",
             "<scrver>" + scriptNumber(entry.scriptver) + "</scrver>",
             cdataElement("evttype", rows.valueAt(kEvtType)), cdataElement("datetime", time),
             cdataElement("evtsrc", rows.valueAt(kEvtSrc)), cdataElement("cat", rows.valueAt(kCat)),
             cdataElement("evtid", rows.valueAt(kEvtId)), cdataElement("msg", rows.valueAt(kMsg)),
             "</ROW>"});
        !s.ok()) {
      return s;
    }
  }
  sets.summaryGroups.count(rows.valueAt(kEvtType), rows.valueAt(kEvtSrc), rows.valueAt(kEvtId));
  return Status::success();
}

Status handleAll(RunState& rs, const MonitorEntry& entry, WorkingSets& sets, RecordSet& rows) {
  std::int16_t option = 0;
  if (rows.recordCount() > 0) {
    if (Status s = outputOption(entry.outputopt, &option); !s.ok()) return s;
  }
  for (rows.moveFirst(); !rows.atEnd(); rows.moveNext()) {
    if (Status s = handleRow(rs, entry, option, sets, rows); !s.ok()) return s;
  }
  return Status::success();
}

}  // namespace

Status outputOption(const std::string& text, std::int16_t* option) {
  std::string t(trimAscii(text));
  if (t.empty()) return runtimeError(kErrTypeMismatch);
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return runtimeError(kErrTypeMismatch);
    }
  }
  if (!digits) return runtimeError(kErrTypeMismatch);
  double value = std::nearbyint(numericValue(t));
  if (value < -32768 || value > 32767) return runtimeError(kErrOverflow);
  *option = static_cast<std::int16_t>(value);
  return Status::success();
}

Status writeEntryRows(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  if (sets.pairsSeen) {
    subWriteLog(rs, "MSG : Retrieving the final details");
    if (sets.typeRows.recordCount() > 0) {
      subWriteLog(rs, "MSG : RS1");
      if (Status s = handleAll(rs, entry, sets, sets.typeRows); !s.ok()) return s;
    }
    subWriteLog(rs, "MSG : Totoal event exctrated :-" + decimal(rs.totalEventCount));
  } else if (sets.descRows.recordCount() > 0) {
    subWriteLog(rs, "MSG : RS4");
    if (Status s = handleAll(rs, entry, sets, sets.descRows); !s.ok()) return s;
    subWriteLog(rs, "MSG : Totoal event exctrated :-" + decimal(rs.totalEventCount));
  }
  return Status::success();
}

Status writeSummaryRows(RunState& rs, const MonitorEntry& entry, WorkingSets& sets) {
  std::int16_t option = 0;
  if (Status s = outputOption(entry.outputopt, &option); !s.ok()) return s;
  if (option != 1 && option != 3) return Status::success();
  const std::string scrid = "<scrid>" + scriptNumber(entry.scriptid) + "</scrid>";
  const std::string scrver = "<scrver>" + scriptNumber(entry.scriptver) + "</scrver>";
  for (const SummaryGroups::Group& group : sets.summaryGroups.groups()) {
    rs.hasSummaryRows = true;
    if (Status s =
            writeLines(*rs.summaryStream, rs.summaryXml,
                       {"<ROW>", scrid, scrver, cdataElement("evttype", group.evttype),
                        cdataElement("evtsrc", group.evtsrc), cdataElement("evtid", group.evtid),
                        cdataElement("totalCount", FieldValue(decimal(group.count))), "</ROW>"});
        !s.ok()) {
      return s;
    }
  }
  return Status::success();
}

}  // namespace sccevtmon
