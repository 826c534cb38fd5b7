#pragma once

#include <functional>
#include <string>

#include "platform/log_query.h"

namespace sccevtmon {

// The log query engine of the Windows build until it reads the system's event logs: the
// monitor's query subset over rendered-XML exports kept in one folder, as on the portable
// build (log N is the file N.xml, each '/' of the name written "%4"). An .evtx file is not
// read here. The columns are those of the portable engine.
class ExportedLogQueryEngine : public LogQueryEngine {
 public:
  // folder gives the event-log folder each time a query runs.
  explicit ExportedLogQueryEngine(std::function<std::string()> folder);

  Status createQuery(std::unique_ptr<LogQuery>* query) override;
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override;
  // The .xml files of the folder, named as queries name them ("%4" read as "/").
  Status listLogs(std::vector<EventLogSource>* logs) override;
  void readLogsFrom(const std::string& folder) override;

 private:
  std::function<std::string()> folder_;
};

}  // namespace sccevtmon
