#pragma once

#include <functional>
#include <string>

#include "platform/file_system.h"
#include "platform/log_query.h"

namespace sccevtmon {

// The Windows build's log query engine over exported event logs kept in one folder, as the
// portable build reads them: log N is the file N.evtx, else N.xml (a rendered-XML export),
// each '/' of the name written "%4", read by the shared readers, so the two builds read an
// export identically. The columns are those of the portable engine. The live engine
// (wevt_engine.h) hands queries to it when a folder of exports is named.
class ExportedLogQueryEngine : public LogQueryEngine {
 public:
  // folder gives the event-log folder each time a query runs.
  // folder gives the event-log folder each time a query runs; the files are read through files.
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
