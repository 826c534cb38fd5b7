#pragma once

#include <string>

#include "platform/eventlog/event_record.h"
#include "util/status.h"

namespace sccevtmon {

// The file of event log logName in folder (a POSIX or Windows-shaped path): the name with
// every '/' replaced by "%4", then ".evtx", else ".xml", matched without regard to case. A
// name holding '\' or NUL, or made only of dots, is never found. Failure (number 440):
// "The specified event log N was not found in FOLDER". Folder, name and the path found are
// the program's text (see path.h); a file whose name Windows-1252 cannot hold is never found.
Status findEventLogFile(const std::string& folder, const std::string& logName, std::string* path);

// The readers take such a path and name it in their failure texts.

// Reads a .evtx file with libevtx. Records come in the order of their record number; a record
// that cannot be read is skipped and counted. A file that cannot be opened as an event log, or
// whose announced records are all unreadable, fails (number 440) with the reason.
Status readEvtxFile(const std::string& path, const EventWindow& window, EventLogContents* out);

// Reads a rendered-XML export file (see readRenderedXml). A file that cannot be opened fails
// (number 440).
Status readRenderedXmlFile(const std::string& path, const EventWindow& window,
                           EventLogContents* out);

}  // namespace sccevtmon
