#pragma once

// The .evtx reader the monitor had before its own decoder: libevtx renders each record's
// binary XML to text, which is parsed and mapped like a rendered-XML event. Kept for tests
// only, as the reference the decoder is compared with.

#include <string>

#include "platform/eventlog/event_record.h"

namespace sccevtmon::testing {

// readEvtxFile's contract, through libevtx. When xml is given, it receives each record's
// rendered XML (empty for a record libevtx cannot read), in libevtx's record order.
Status readEvtxFileWithLibevtx(const std::string& path, const EventWindow& window,
                               EventLogContents* out, std::vector<std::string>* xml = nullptr);

}  // namespace sccevtmon::testing
