#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/log_query.h"

namespace sccevtmon {

// One row a fake query returns, by column alias.
using FakeLogRow = std::map<std::string, LogValue>;

// A log query engine that answers every query with the rows a test gives it (per log name
// found in the query's FROM clause, or for every query), and records the query texts.
class FakeLogQueryEngine : public LogQueryEngine {
 public:
  struct Answer {
    Status status;         // execute fails with this when not ok
    long inputUnits = -1;  // -1: the number of rows
    std::vector<FakeLogRow> rows;
    std::vector<std::string> skipNotes;
  };

  Status createStatus;                  // both creations fail with this when not ok
  std::map<std::string, Answer> byLog;  // answers by log name
  Answer otherwise{runtimeError(kErrAutomation), 0, {}, {}};
  std::vector<std::string> queries;
  int created = 0;
  std::vector<EventLogSource> logs;  // what listLogs() answers
  Status listStatus;                 // listLogs fails with this when not ok
  bool logFiles = true;              // what readsLogFiles() answers
  std::string folder;                // set by readLogsFrom()

  Status createQuery(std::unique_ptr<LogQuery>* query) override;
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override;
  Status listLogs(std::vector<EventLogSource>* out) override {
    *out = logs;
    return listStatus;
  }
  void readLogsFrom(const std::string& f) override { folder = f; }
  bool readsLogFiles() override { return logFiles; }
};

}  // namespace sccevtmon
