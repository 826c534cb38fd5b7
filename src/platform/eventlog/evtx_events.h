#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/eventlog/event_record.h"

namespace sccevtmon {

// Decodes the bytes of an .evtx file into the monitor's rows: every record counted, those
// that cannot be decoded counted as skipped, the rows of the records whose TimeCreated lies in
// the window kept in file order. False, with why, when the bytes are not an event log.
bool decodeEvtxBytes(std::span<const std::byte> bytes, const EventWindow& window,
                     EventLogContents* out, std::string* why);

}  // namespace sccevtmon
