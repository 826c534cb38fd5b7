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

}  // namespace sccevtmon
