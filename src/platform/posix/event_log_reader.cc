#include "platform/posix/event_log_reader.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/evtx_events.h"
#include "platform/posix/path.h"
#include "platform/xml_document.h"
#include "platform/xml_element_stream.h"

namespace sccevtmon {
namespace {

// The control characters XML forbids: all below 0x20 but tab, LF and CR (NUL ends the text).
constexpr std::string_view kControlCharacters =
    "\x01\x02\x03\x04\x05\x06\x07\x08\x0B\x0C\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19"
    "\x1A\x1B\x1C\x1D\x1E\x1F";

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// One event's XML text: counts it, tests its TimeCreated against the window (cheaply when the
// text allows) and maps it. False when the text cannot be parsed.
bool takeEvent(std::string_view xml, const EventWindow& window, XmlDocument& doc, EventRow* row,
               bool* inWindow) {
  *inWindow = false;
  std::optional<long long> created;
  if (window.limited) {
    created = scanTimeCreated(xml);
    if (created && !window.contains(*created)) return true;
  }
  // Event data may hold control characters that XML does not allow (binary values written
  // as text); they read as '?', as characters the code page cannot show do.
  Status loaded;
  size_t control = xml.find_first_of(kControlCharacters);
  if (control == std::string_view::npos) {
    loaded = doc.loadBytes(xml);
  } else {
    std::string copy(xml);
    for (; control != std::string::npos;
         control = copy.find_first_of(kControlCharacters, control)) {
      copy[control] = '?';
    }
    loaded = doc.loadBytes(copy);
  }
  if (!loaded.ok()) return false;
  XmlNode event = doc.rootElement();
  if (!event || event.name() != "Event") return false;
  if (window.limited && !created) {
    created = eventTimeCreated(event);
    if (!created || !window.contains(*created)) return true;
  }
  mapEvent(event, row);
  *inWindow = true;
  return true;
}

bool isWellFormedName(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
  return name.find_first_not_of('.') != std::string::npos;
}

}  // namespace

Status findEventLogFile(const std::string& folder, const std::string& logName, std::string* path) {
  std::string dir = toPosixPath(folder);
  Status notFound = engineError("The specified event log " + logName + " was not found in " + dir);
  if (!isWellFormedName(logName)) return notFound;
  std::string base;
  for (char c : logName) base += c == '/' ? std::string("%4") : std::string(1, c);
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) names.push_back(entry->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const char* extension : {".evtx", ".xml"}) {
    std::string wanted = base + extension;
    // An exact match first, then one that differs only in case.
    std::vector<std::string> candidates;
    for (const std::string& n : names) {
      if (n == wanted)
        candidates.insert(candidates.begin(), n);
      else if (strcasecmp(n.c_str(), wanted.c_str()) == 0)
        candidates.push_back(n);
    }
    for (const std::string& n : candidates) {
      std::string full = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + n;
      struct stat st {};
      if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        *path = full;
        return Status::success();
      }
    }
  }
  return notFound;
}

Status readEvtxFile(const std::string& path, const EventWindow& window, EventLogContents* out) {
  *out = EventLogContents{};
  std::vector<std::byte> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return engineError("The event log file " + path +
                       " cannot be opened as an event log: " + std::strerror(errno));
  }
  bool readOk = std::fseek(file, 0, SEEK_END) == 0;
  long size = readOk ? std::ftell(file) : -1;
  if (size > 0 && std::fseek(file, 0, SEEK_SET) == 0) {
    bytes.resize(static_cast<size_t>(size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  }
  readOk = readOk && size >= 0 && !std::ferror(file);
  int readErrno = errno;
  std::fclose(file);
  if (!readOk) {
    return engineError("The event log file " + path +
                       " cannot be read: " + std::strerror(readErrno));
  }
  std::string why;
  if (!decodeEvtxBytes(bytes, window, out, &why)) {
    return engineError("The event log file " + path + " cannot be opened as an event log: " + why);
  }
  if (out->processed > 0 && out->skipped == out->processed) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(out->processed) + " records is readable");
  }
  // A wrapped log's oldest chunk may stand anywhere in the file; the record header's number
  // orders the records (an exported log renumbers its headers from 1 and keeps the original
  // EventRecordID in the event).
  std::stable_sort(out->rows.begin(), out->rows.end(),
                   [](const EventRow& a, const EventRow& b) { return a.recordId < b.recordId; });
  return Status::success();
}

Status readRenderedXmlFile(const std::string& path, const EventWindow& window,
                           EventLogContents* out) {
  *out = EventLogContents{};
  XmlElementStream stream;
  Status s = stream.open(path, "Event");
  if (!s.ok()) return engineError("The event log file cannot be read: " + s.description);
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
    if (!takeEvent(element, window, doc, &row, &inWindow)) {
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
