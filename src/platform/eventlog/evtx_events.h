#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/eventlog/event_record.h"
#include "platform/file_system.h"
#include "util/status.h"

namespace sccevtmon {

// Decodes the bytes of an .evtx file into the monitor's rows: every record counted, those
// that cannot be decoded counted as skipped, the rows of the records whose TimeCreated lies in
// the window kept in file order. False, with why, when the bytes are not an event log.
bool decodeEvtxBytes(std::span<const std::byte> bytes, const EventWindow& window,
                     EventLogContents* out, std::string* why);

// Reads an .evtx export file as both builds read it, a chunk at a time through files (no read
// is larger than a chunk, whatever the file's size; a chunk whose header holds no record costs
// one header read): decoded as decodeEvtxBytes does, the rows ordered by record number (a
// wrapped log's oldest chunk may stand anywhere in the file). Fails (number 440) when the file
// cannot be opened or read, is not an event log, or none of its records is readable. path
// names the file in the failure texts.
Status readEvtxExport(FileSystem& files, const std::string& path, const EventWindow& window,
                      EventLogContents* out);

}  // namespace sccevtmon
