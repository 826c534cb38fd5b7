#pragma once

#include <string>

#include "platform/eventlog/event_record.h"
#include "platform/eventlog/xml_element_stream.h"
#include "util/status.h"

namespace sccevtmon {

// Reads a rendered-XML export (a sequence of <Event> elements, with or without an enclosing
// root) one event at a time, in document order. An event that is not well-formed XML, and
// an event cut off by the end of the file, is skipped and counted. A file that cannot be read,
// or whose events are all unreadable, fails (number 440).
// read gives the file's bytes; path names the file in failure texts.
Status readRenderedXml(const std::string& path, const XmlElementStream::ByteReader& read,
                       const EventWindow& window, EventLogContents* out);

}  // namespace sccevtmon
