#include "extract/row_output.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/text.h"
#include "base/time_stamp.h"
#include "util/ascii.h"
#include "util/text_format.h"

namespace sccevtmon {
namespace {

// The stored date and time in the report's MM/DD/YYYY HH:NN:SS form. The query engines give it
// in that form, and such a text is used as it is (read and written again it would come out the
// same, and one whose date does not exist is written as stored below). Month first with
// one-digit fields, or ISO (YYYY-MM-DD HH:NN:SS), is read and written again; a text that is
// neither is written as stored.
std::string_view reportTime(std::string_view stored, std::string& formatted) {
  if (hasTimestampShape(stored)) return stored;
  formatted.clear();
  if (auto t = parseRunTimestamp(stored)) {
    appendTimestamp(formatted, *t);
    return formatted;
  }
  LocalTime t;
  char tail = 0;
  if (std::sscanf(std::string(stored).c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month,
                  &t.day, &t.hour, &t.minute, &t.second, &tail) == 6 &&
      isValidLocalTime(t)) {
    appendTimestamp(formatted, t);
    return formatted;
  }
  return stored;
}

// The numeric form of scriptid or scriptver. A text of at most 15 digits, the usual case, is
// its digits without leading zeros; anything else takes the full reading.
void appendScriptNumber(std::string& out, const std::string& text) {
  if (!text.empty() && text.size() <= 15 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    std::size_t first = text.find_first_not_of('0');
    if (first == std::string::npos) {
      out += '0';
    } else {
      out.append(text, first);
    }
    return;
  }
  out += numberText(numericValue(text));
}

// The lines of one <ROW> block, each built in one buffer that all lines share and written as
// one line of a report stream and of its text copy. After a failed write nothing more is
// written, and status() tells the failure.
class RowLines {
 public:
  RowLines(TextStream& stream, std::string& copy) : stream_(stream), copy_(copy) {
    line_.reserve(256);
  }

  void text(std::string_view text) {
    line_.assign(text);
    emit();
  }
  // "<tag>" + the numeric form of a script number + "</tag>".
  void number(std::string_view tag, const std::string& text) {
    openTag(tag);
    appendScriptNumber(line_, text);
    closeTag(tag);
  }
  // "<tag>" + a CDATA section of value ("" when null) + "</tag>".
  void cdata(std::string_view tag, const FieldValue& value) {
    cdata(tag, value ? std::string_view(*value) : std::string_view());
  }
  void cdata(std::string_view tag, FieldText value) {
    cdata(tag, value.value_or(std::string_view()));
  }
  // "<tag>" + a CDATA section of a whole number + "</tag>".
  void cdata(std::string_view tag, long long number) {
    openTag(tag);
    line_ += "<![CDATA[";
    appendDecimal(line_, number);
    line_ += "]]>";
    closeTag(tag);
  }
  void cdata(std::string_view tag, std::string_view value) {
    openTag(tag);
    appendCdataSection(line_, value);
    closeTag(tag);
  }
  const Status& status() const { return status_; }

 private:
  void openTag(std::string_view tag) { line_.assign("<").append(tag).append(">"); }
  void closeTag(std::string_view tag) {
    line_.append("</").append(tag).append(">");
    emit();
  }
  void emit() {
    if (!status_.ok()) return;
    status_ = stream_.writeLine(line_);
    if (status_.ok()) appendToCopy(copy_, line_);
  }

  TextStream& stream_;
  std::string& copy_;
  std::string line_;
  Status status_;
};

Status handleRow(RunState& rs, const MonitorEntry& entry, std::int16_t option, WorkingSets& sets,
                 RecordSet& rows) {
  if (option == 2 || option == 3) {
    if (rs.totalEventCount == std::numeric_limits<std::int32_t>::max()) {
      return runtimeError(kErrOverflow);
    }
    rs.hasDetailRows = true;
    ++rs.totalEventCount;
    RowLines out(*rs.detailStream, rs.detailXml);
    out.text("<ROW>");
    out.number("scrid", entry.scriptid);
    out.number("scrver", entry.scriptver);
    out.cdata("evttype", rows.valueAt(kEvtType));
    FieldText when = rows.valueAt(kDateTime);
    if (when) {
      std::string formatted;
      out.cdata("datetime", reportTime(*when, formatted));
    } else {
      out.cdata("datetime", std::string_view());
    }
    out.cdata("evtsrc", rows.valueAt(kEvtSrc));
    out.cdata("cat", rows.valueAt(kCat));
    out.cdata("evtid", rows.valueAt(kEvtId));
    out.cdata("msg", rows.valueAt(kMsg));
    out.text("</ROW>");
    if (!out.status().ok()) return out.status();
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

void noteOutputOptionProblem(const MonitorEntry& entry, std::vector<TemplateNote>* notes) {
  const std::string advice = "write 1 (summary rows), 2 (detail rows) or 3 (both)";
  std::int16_t option = 0;
  if (!outputOption(entry.outputopt, &option).ok()) {
    // The option is read when the entry's rows are written, which ends the log's pass.
    notes->push_back({0, TemplateNote::kNoOffset, false,
                      "<outputopt> \"" + entry.outputopt + "\" is not a whole number",
                      "every log's pass stops at this entry and a run reports the failure",
                      advice});
  } else if (option < 1 || option > 3) {
    notes->push_back({0, TemplateNote::kNoOffset, false,
                      "<outputopt> " + std::to_string(option) + " is out of range",
                      "a run writes nothing for this entry", advice});
  }
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
  for (const SummaryGroups::Group& group : sets.summaryGroups.groups()) {
    rs.hasSummaryRows = true;
    RowLines out(*rs.summaryStream, rs.summaryXml);
    out.text("<ROW>");
    out.number("scrid", entry.scriptid);
    out.number("scrver", entry.scriptver);
    out.cdata("evttype", group.evttype);
    out.cdata("evtsrc", group.evtsrc);
    out.cdata("evtid", group.evtid);
    out.cdata("totalCount", static_cast<long long>(group.count));
    out.text("</ROW>");
    if (!out.status().ok()) return out.status();
  }
  return Status::success();
}

}  // namespace sccevtmon
