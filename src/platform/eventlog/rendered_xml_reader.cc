#include "platform/eventlog/rendered_xml_reader.h"

#include "util/xml_document.h"

namespace sccevtmon {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

}  // namespace

Status readRenderedXml(const std::string& path, const XmlElementStream::ByteReader& read,
                       const EventWindow& window, EventLogContents* out) {
  *out = EventLogContents{};
  XmlElementStream stream;
  stream.open(read, "Event");
  Status s;
  XmlDocument doc;
  std::string element;
  for (;;) {
    bool found = false;
    s = stream.next(&element, &found);
    if (!s.ok())
      return engineError("The event log file " + path + " cannot be read: " + s.description);
    if (!found) break;
    ++out->processed;
    EventRow row;
    bool inWindow = false;
    if (!takeEventXml(element, window, doc, &row, &inWindow)) {
      ++out->skipped;
      continue;
    }
    if (inWindow) out->rows.push_back(std::move(row));
  }
  if (stream.truncated()) {
    ++out->processed;
    ++out->skipped;
  }
  if (out->processed > 0 && out->skipped == out->processed) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(out->processed) + " events is readable");
  }
  return Status::success();
}

}  // namespace sccevtmon
