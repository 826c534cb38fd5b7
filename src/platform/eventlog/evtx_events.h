#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/eventlog/event_record.h"
#include "util/status.h"

namespace sccevtmon {

// Decodes the bytes of an .evtx file into the monitor's rows: every record counted, those
// that cannot be decoded counted as skipped, the rows of the records whose TimeCreated lies in
// the window kept in file order. False, with why, when the bytes are not an event log.
bool decodeEvtxBytes(std::span<const std::byte> bytes, const EventWindow& window,
                     EventLogContents* out, std::string* why);

// An .evtx export file's bytes as both builds read them: decoded (decodeEvtxBytes), the rows
// ordered by record number (a wrapped log's oldest chunk may stand anywhere in the file). Fails
// (number 440) when the bytes are not an event log or none of the records is readable. path
// names the file in the failure texts.
Status readEvtxExport(const std::string& path, std::span<const std::byte> bytes,
                      const EventWindow& window, EventLogContents* out);

}  // namespace sccevtmon
