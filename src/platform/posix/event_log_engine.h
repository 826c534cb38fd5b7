#pragma once

#include <functional>
#include <string>

#include "platform/file_system.h"
#include "platform/log_query.h"
#include "platform/registry.h"

namespace sccevtmon {

// The log query engine of the portable build: answers the monitor's query subset over event
// logs kept as files in one folder (.evtx files, or rendered-XML exports).
//
// execute() parses the query, finds the log's file, reads every record and keeps the rows
// inside the window; the record set then walks them. Rows hold the values of the selected
// fields: evttype one of the five event type texts, datetime the local time as
// "MM/DD/YYYY HH:NN:SS", evtsrc, cat, evtid in decimal and msg on one line, all ANSI.
class PosixLogQueryEngine : public LogQueryEngine {
 public:
  // folder gives the event-log folder each time a query runs; the folder can depend on the
  // installation path, which is known only once the run has started.
  // Log files are read through files.
  PosixLogQueryEngine(FileSystem& files, std::function<std::string()> folder);

  Status createQuery(std::unique_ptr<LogQuery>* query) override;
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override;
  // The .evtx and .xml files of the folder, named as queries name them ("%4" read as "/"); a
  // name with both files lists the .evtx file, which a query reads.
  Status listLogs(std::vector<EventLogSource>* logs) override;
  void readLogsFrom(const std::string& folder) override;

 private:
  FileSystem& files_;
  std::function<std::string()> folder_;
};

// The event-log folder of this machine: SCCEVTMON_EVENTLOG_DIR when set, else the
// installation's (see installedEventLogFolder). Empty when neither is known.
std::string systemEventLogFolder(Registry& registry);

}  // namespace sccevtmon
