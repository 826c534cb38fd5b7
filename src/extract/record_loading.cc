#include "extract/record_loading.h"

#include "base/text.h"
#include "extract/filter_pipeline.h"
#include "extract/row_output.h"
#include "extract/working_sets.h"

namespace sccevtmon {
namespace {

bool forbiddenControl(unsigned char c) { return c < 32 && c != '\t' && c != '\n' && c != '\r'; }

// Whether cleanMessage keeps a character.
bool messageKeeps(unsigned char c) { return c != '?' && c <= 125 && !forbiddenControl(c); }

// A loaded value as the working sets keep it, written front to back into out (which may be
// where the value stands): the message as cleanMessage makes it, every other value without
// the control characters XML forbids.
std::uint32_t cleaned(std::size_t column, FieldText in, char* out) {
  if (!in) return column == kMsg ? 0 : TextRows::kNull;
  std::uint32_t n = 0;
  for (char ch : *in) {
    auto c = static_cast<unsigned char>(ch);
    if (column == kMsg ? messageKeeps(c) : !forbiddenControl(c)) out[n++] = ch;
  }
  return n;
}

// Loads every row of the query's result into loadedRows: the result's own store when it is
// held in one (the rows are then cleaned where they stand, and held once), else walked.
Status loadRows(LogRecordSet& result, RecordSet& loadedRows) {
  static const std::vector<std::string> kColumns = {"evttype", "datetime", "evtsrc",
                                                    "cat",     "evtid",    "msg"};
  std::unique_ptr<TextRows> rows = result.takeRows(kColumns);
  if (!rows) {
    rows = std::make_unique<TextRows>(kColumns.size());
    std::vector<LogValue> values(kColumns.size());
    std::vector<FieldText> cells(kColumns.size());
    while (!result.atEnd()) {
      const LogRecord& record = result.getRecord();
      for (std::size_t c = 0; c < kColumns.size(); ++c) {
        Status s = record.getValue(kColumns[c], &values[c]);
        // The message's errors are ignored, as cleanMessage ignores them.
        if (!s.ok() && c == kMsg) values[c].reset();
        if (!s.ok() && c != kMsg) return s;
        cells[c] = values[c] ? FieldText(*values[c]) : std::nullopt;
      }
      rows->add(cells);
      if (Status s = result.moveNext(); !s.ok()) return s;
    }
  }
  rows->editAll(cleaned);
  return loadedRows.adopt(std::move(rows));
}

// The rows each stage left for the entry, read from the sets once the pipeline has run: the
// event-type filter is still set on loadedRows, and every other stage's output is its set.
EntryTally stageCounts(std::size_t index, WorkingSets& sets) {
  EntryTally t;
  t.entry = index;
  t.afterType = sets.loadedRows.recordCount();
  t.afterSource = sets.sourceRows.recordCount();
  t.afterId = sets.idRows.recordCount();
  t.afterDescription = sets.descRows.recordCount();
  t.afterPairs = sets.finalRows().recordCount();
  return t;
}

// The summary rows the entry's groups gave.
std::size_t summaryRowsWritten(const MonitorEntry& entry, WorkingSets& sets) {
  std::int16_t option = 0;
  if (!outputOption(entry.outputopt, &option).ok() || (option != 1 && option != 3)) return 0;
  return sets.summaryGroups.size();
}

// The walk over the entries for one log, after the rows are loaded.
Status handleEntries(RunState& rs, const std::string& logName, WorkingSets& sets, LogTally& tally) {
  const std::string wanted = trimSpaces(logName);
  for (std::size_t i = 0; i < rs.monitorEntries.size(); ++i) {
    const MonitorEntry& entry = rs.monitorEntries[i];
    if (sets.summaryGroups.size() > 0) sets.summaryGroups.clear();
    subWriteLog(rs, "*******************ScriptID::" + numberText(numericValue(entry.scriptid)) +
                        "******************************");
    const bool handled = trimSpaces(entry.evntlgsourcestr) == wanted;
    if (handled) {
      if (Status s = runFilterPipeline(rs, entry, sets); !s.ok()) return s;
      tally.entries.push_back(stageCounts(i, sets));
      const std::int32_t before = rs.totalEventCount;
      if (Status s = writeEntryRows(rs, entry, sets); !s.ok()) return s;
      tally.entries.back().detailRows = rs.totalEventCount - before;
      sets.loadedRows.clearFilter();
    }
    if (Status s = writeSummaryRows(rs, entry, sets); !s.ok()) return s;
    if (handled) tally.entries.back().summaryRows = summaryRowsWritten(entry, sets);
  }
  return Status::success();
}

}  // namespace

std::string cleanMessage(const LogRecord& record) {
  LogValue value;
  if (!record.getValue("msg", &value).ok() || !value) return {};
  std::erase_if(*value, [](char c) { return !messageKeeps(static_cast<unsigned char>(c)); });
  return *value;
}

bool fncCreateRecordSet(RunState& rs, std::unique_ptr<LogQuery>& logQuery, const std::string& query,
                        const std::string& logName, std::string& failureReason) {
  subWriteLog(rs, "MSG : In fncCreateRecordSet, Query :: " + query);
  rs.logTallies.push_back(LogTally{logName, 0, {}, {}, {}});
  // A failure of an earlier log stays the run's failure; a pass starts clean only when nothing
  // failed yet.
  if (trimSpaces(failureReason).empty()) failureReason.clear();
  WorkingSets sets;
  Status s;
  if (!logQuery || !rs.logInputFormat) {
    s = runtimeError(kErrInvalidCall);
  } else {
    std::unique_ptr<LogRecordSet> result;
    s = logQuery->execute(query, *rs.logInputFormat, &result);
    // The query object is used up; the next log gets a new one.
    logQuery.reset();
    if (s.ok()) {
      long processed = result->inputUnitsProcessed();
      rs.logTallies.back().skipNotes = result->skipNotes();
      subWriteLog(rs, "MSG : total records :: " + decimal(processed));
      if (processed == 0) return false;
      s = loadRows(*result, sets.loadedRows);
      if (s.ok()) {
        rs.logTallies.back().rows = sets.loadedRows.recordCount();
        subWriteLog(rs, "MSG : Record Count without filter conditions :" +
                            decimal(static_cast<long long>(sets.loadedRows.recordCount())));
        s = handleEntries(rs, logName, sets, rs.logTallies.back());
      }
    }
  }
  sets.close();
  if (s.ok()) return true;
  failureReason = decimal(s.number) + " Err Description" + s.description;
  rs.logTallies.back().failure = failureReason;
  subWriteLog(rs, "ERR : fncCreateRecordSet() " + failureReason);
  return false;
}

}  // namespace sccevtmon
