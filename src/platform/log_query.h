#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/status.h"
#include "util/text_rows.h"

namespace sccevtmon {

// A column value: text, or null.
using LogValue = std::optional<std::string>;

// One row of a query result.
class LogRecord {
 public:
  virtual ~LogRecord() = default;
  // The value of the column with this alias (aliases match without regard to case). An alias
  // the query does not have fails.
  virtual Status getValue(const std::string& column, LogValue* value) const = 0;
};

// The rows a query returned, walked once from the first.
class LogRecordSet {
 public:
  virtual ~LogRecordSet() = default;
  // How many records of the log were read, before the query's conditions were applied.
  virtual long inputUnitsProcessed() = 0;
  virtual bool atEnd() = 0;
  // The current row; valid until the next moveNext().
  virtual const LogRecord& getRecord() = 0;
  virtual Status moveNext() = 0;
  // Why records of the log were skipped or repaired, one line per reason (see
  // EventLogContents::skipNotes); an engine that cannot tell gives none.
  virtual std::vector<std::string> skipNotes() const { return {}; }

  // Hands over every row at once, before any was walked, as the compact store the result is
  // held in, when its column k is the value of columns[k] for each k; otherwise (another
  // store, other columns, rows already walked) nothing, and the rows are walked. Taking them
  // leaves the record set at its end. The rows of a large result are so held once, not once
  // by the query and again by whoever loads them.
  virtual std::unique_ptr<TextRows> takeRows(const std::vector<std::string>& columns) {
    (void)columns;
    return nullptr;
  }
};

// The event-log input format, used with its defaults.
class LogInputFormat {
 public:
  virtual ~LogInputFormat() = default;
};

// A query object: runs one query text over the input format.
class LogQuery {
 public:
  virtual ~LogQuery() = default;
  virtual Status execute(const std::string& query, LogInputFormat& format,
                         std::unique_ptr<LogRecordSet>* result) = 0;
};

// An event log there is to query, and where it is kept (its file; empty for a log the system
// keeps itself).
struct EventLogSource {
  std::string name;
  std::string location;
};

// Creates the log query engine's objects.
class LogQueryEngine {
 public:
  virtual ~LogQueryEngine() = default;
  virtual Status createQuery(std::unique_ptr<LogQuery>* query) = 0;
  virtual Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) = 0;

  // The event logs queries can name, sorted by name, each with the file a query reads.
  virtual Status listLogs(std::vector<EventLogSource>* logs) = 0;
  // From now on queries read the event-log files in folder instead of the machine's logs.
  virtual void readLogsFrom(const std::string& folder) = 0;
  // Whether the logs queries read are files that can be exported into a folder (false: the
  // logs the system keeps itself, such as Windows' channels).
  virtual bool readsLogFiles() { return true; }
};

}  // namespace sccevtmon
