#pragma once

#include <string>
#include <vector>

#include "platform/posix/event_record.h"
#include "platform/status.h"

namespace sccevtmon {

// The time window of a query on TimeGenerated, in local civil seconds, both bounds included.
struct EventWindow {
  bool limited = false;  // false: every record
  long long from = 0;
  long long to = 0;

  bool contains(long long localSeconds) const {
    return !limited || (localSeconds >= from && localSeconds <= to);
  }
};

// What one read of an event log gives.
struct EventLogContents {
  long processed = 0;          // every record of the log, read or skipped
  long skipped = 0;            // records that could not be read
  std::vector<EventRow> rows;  // the records inside the window, in the log's order
};

// The file of event log logName in folder (a POSIX or Windows-shaped path): the name with
// every '/' replaced by "%4", then ".evtx", else ".xml", matched without regard to case. A
// name holding '\' or NUL, or made only of dots, is never found. Failure (number 440):
// "The specified event log N was not found in FOLDER".
Status findEventLogFile(const std::string& folder, const std::string& logName, std::string* path);

// Reads a .evtx file with the project's decoder (src/evtx). Records come in the order of
// their record number; a record that cannot be read is skipped and counted. A file that cannot
// be opened as an event log, or whose records are all unreadable, fails (number 440) with the
// reason.
Status readEvtxFile(const std::string& path, const EventWindow& window, EventLogContents* out);

// Reads a rendered-XML export (a sequence of <Event> elements, with or without an enclosing
// root) one event at a time, in document order. An event that is not well-formed XML, and
// an event cut off by the end of the file, is skipped and counted. A file that cannot be read,
// or whose events are all unreadable, fails (number 440).
Status readRenderedXmlFile(const std::string& path, const EventWindow& window,
                           EventLogContents* out);

}  // namespace sccevtmon
