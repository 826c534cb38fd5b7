#pragma once

#include <functional>
#include <string>

#include "platform/file_system.h"
#include "platform/log_query.h"

namespace sccevtmon {

// The log query engine over event logs exported as files into one folder, the same in both
// builds: the portable build's only engine, and the Windows build's once a folder of exports
// is named. Log N is the file N.evtx, else N.xml (a rendered-XML export), each '/' of the name
// written "%4", matched without regard to case (an exact match first); a name holding '\' or
// NUL, or made only of dots, is never found. A file linked into the folder is read where it
// lies. Failure (number 440): "The specified event log N was not found in FOLDER".
//
// execute() parses the query, reads every record of the log's file through files and keeps
// the rows inside the window; the record set then walks them. Rows hold the values of the
// selected fields: evttype one of the five event type texts, datetime the local time as
// "MM/DD/YYYY HH:NN:SS", evtsrc, cat, evtid in decimal and msg on one line, all ANSI.
class ExportedLogQueryEngine : public LogQueryEngine {
 public:
  // folder gives the event-log folder each time a query runs: it can depend on the
  // installation path, which is known only once the run has started.
  ExportedLogQueryEngine(FileSystem& files, std::function<std::string()> folder);

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

}  // namespace sccevtmon
