#pragma once

#include <string>

#include "platform/eventlog/event_record.h"
#include "platform/eventlog/xml_element_stream.h"
#include "platform/file_system.h"
#include "util/status.h"

namespace sccevtmon {

// Reads a rendered-XML export (a sequence of <Event> elements, with or without an enclosing
// root) one event at a time, in document order. An event that is not well-formed XML, and
// an event cut off by the end of the file, is skipped and counted. A file that cannot be read,
// or whose events are all unreadable, fails (number 440). A file without events is an empty
// log only when it is empty (0 bytes) or a well-formed export holding no event (an Events
// root, or a bare sequence of no Event elements); any other fails (440), so that plain text,
// a truncated root or a document of another kind is never taken for a log with no events.
// read gives the file's bytes; path names the file in failure texts.
Status readRenderedXml(const std::string& path, const XmlElementStream::ByteReader& read,
                       const EventWindow& window, EventLogContents* out);

// Reads the rendered-XML export file path through files, a block at a time. A file that
// cannot be opened fails (number 440).
Status readRenderedXmlExport(FileSystem& files, const std::string& path, const EventWindow& window,
                             EventLogContents* out);

}  // namespace sccevtmon
