#include "platform/eventlog/rendered_xml_reader.h"

#include "util/ascii.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// A file without events is kept whole up to this size to tell an empty export from a file of
// another kind; an empty export is far smaller.
constexpr size_t kLargestEmptyExport = 4 << 20;

// Why a file in which no event was found is not an empty log, or empty when it is one: a
// 0-byte file, or a well-formed export (an Events root, or a bare sequence of Event
// elements) that holds no event.
std::string notAnEmptyExport(const std::string& bytes, bool whole) {
  if (!whole) return "it holds no event";
  if (bytes.empty()) return {};
  XmlDocument doc;
  if (Status s = doc.loadBytes(bytes, XmlLoadOptions{true}); !s.ok()) return s.description;
  int elements = 0;
  for (XmlNode top = doc.document().firstChild(); top; top = top.nextSibling()) {
    if (top.kind() == XmlNodeKind::kCData ||
        (top.kind() == XmlNodeKind::kText && !trimAscii(top.text(), kWhiteSpace).empty())) {
      return "it holds text outside any element";
    }
    if (top.kind() != XmlNodeKind::kElement) continue;
    if (top.name() != "Events") return "its root element is " + top.name() + ", not Events";
    if (++elements > 1) return "it has more than one root element";
  }
  return {};
}

}  // namespace

Status readRenderedXml(const std::string& path, const XmlElementStream::ByteReader& read,
                       const EventWindow& window, EventLogContents* out) {
  *out = EventLogContents{};
  // The bytes read before the first event, kept to judge a file in which none is found.
  std::string head;
  bool keepHead = true;
  auto keeping = [&](char* buffer, size_t size, size_t* count) {
    Status s = read(buffer, size, count);
    if (s.ok() && keepHead) {
      head.append(buffer, *count);
      if (head.size() > kLargestEmptyExport) {
        keepHead = false;
        std::string().swap(head);
      }
    }
    return s;
  };
  XmlElementStream stream;
  stream.open(keeping, "Event");
  Status s;
  XmlDocument doc;
  std::string element;
  EventRow row;  // reused from event to event
  for (;;) {
    bool found = false;
    s = stream.next(&element, &found);
    if (!s.ok())
      return engineError("The event log file " + path + " cannot be read: " + s.description);
    if (!found) break;
    if (keepHead) {
      keepHead = false;
      std::string().swap(head);
    }
    ++out->processed;
    bool inWindow = false;
    if (!takeEventXml(element, window, doc, &row, &inWindow)) {
      ++out->skipped;
      continue;
    }
    if (inWindow) out->add(row);
  }
  if (stream.truncated()) {
    ++out->processed;
    ++out->skipped;
  }
  if (out->processed == 0) {
    if (std::string why = notAnEmptyExport(head, keepHead); !why.empty()) {
      return engineError("The event log file " + path + " is not an event log export: " + why);
    }
  }
  if (out->processed > 0 && out->skipped == out->processed) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(out->processed) + " events is readable");
  }
  return Status::success();
}

Status readRenderedXmlExport(FileSystem& files, const std::string& path, const EventWindow& window,
                             EventLogContents* out) {
  *out = EventLogContents{};
  std::unique_ptr<ReadableFile> file;
  if (Status s = files.openForReading(path, &file); !s.ok()) {
    return engineError("The event log file cannot be read: cannot read " + path + ": " +
                       s.description);
  }
  std::uint64_t at = 0;
  auto read = [&](char* buffer, std::size_t size, std::size_t* count) {
    Status s = file->readAt(at, buffer, size, count);
    at += *count;
    return s.ok() ? s : Status{kErrDeviceIo, "cannot read the XML file"};
  };
  return readRenderedXml(path, read, window, out);
}

}  // namespace sccevtmon
