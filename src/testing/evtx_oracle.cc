#include "testing/evtx_oracle.h"

#include <libevtx.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/eventlog/event_record.h"
#include "util/xml_document.h"

// libevtx leaks a few of its own objects when it fails a record (as it does on some of the
// value types the tests write): not ours to fix, so the leak checker of the sanitizer build
// passes over what it allocated.
extern "C" const char* __lsan_default_suppressions() { return "leak:libevtx.so\n"; }

namespace sccevtmon::testing {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// The first line of a libevtx error, and the error released.
std::string takeError(libevtx_error_t** error) {
  std::string text = "unknown error";
  if (*error != nullptr) {
    char buffer[1024] = {};
    if (libevtx_error_sprint(*error, buffer, sizeof buffer) > 0) {
      text = buffer;
      size_t end = text.find_first_of("\r\n");
      if (end != std::string::npos) text.resize(end);
    }
    libevtx_error_free(error);
  }
  return text;
}

struct FileCloser {
  void operator()(libevtx_file_t* file) const {
    libevtx_file_close(file, nullptr);
    libevtx_file_free(&file, nullptr);
  }
};
struct RecordFreer {
  void operator()(libevtx_record_t* record) const { libevtx_record_free(&record, nullptr); }
};

}  // namespace

Status readEvtxFileWithLibevtx(const std::string& path, const EventWindow& window,
                               EventLogContents* out, std::vector<std::string>* xmlOut) {
  if (xmlOut != nullptr) xmlOut->clear();
  *out = EventLogContents{};
  libevtx_error_t* error = nullptr;
  libevtx_file_t* raw = nullptr;
  if (libevtx_file_initialize(&raw, &error) != 1) {
    return engineError("The event log reader cannot start: " + takeError(&error));
  }
  if (libevtx_file_open(raw, path.c_str(), LIBEVTX_OPEN_READ, &error) != 1) {
    std::string why = takeError(&error);
    libevtx_file_free(&raw, nullptr);
    return engineError("The event log file " + path + " cannot be opened as an event log: " + why);
  }
  std::unique_ptr<libevtx_file_t, FileCloser> file(raw);
  int count = 0;
  if (libevtx_file_get_number_of_records(file.get(), &count, &error) != 1) {
    return engineError("The event log file " + path + " cannot be read: " + takeError(&error));
  }
  XmlDocument doc;
  std::string xml;
  for (int i = 0; i < count; ++i) {
    ++out->processed;
    if (xmlOut != nullptr) xmlOut->emplace_back();
    libevtx_record_t* rawRecord = nullptr;
    if (libevtx_file_get_record_by_index(file.get(), i, &rawRecord, &error) != 1) {
      libevtx_error_free(&error);
      ++out->skipped;
      continue;
    }
    std::unique_ptr<libevtx_record_t, RecordFreer> record(rawRecord);
    size_t size = 0;
    if (libevtx_record_get_utf8_xml_string_size(record.get(), &size, &error) != 1 || size == 0) {
      libevtx_error_free(&error);
      ++out->skipped;
      continue;
    }
    xml.resize(size);
    if (libevtx_record_get_utf8_xml_string(record.get(), reinterpret_cast<uint8_t*>(xml.data()),
                                           size, &error) != 1) {
      libevtx_error_free(&error);
      ++out->skipped;
      continue;
    }
    std::string_view text(xml.data(), strnlen(xml.data(), size));
    if (xmlOut != nullptr) xmlOut->back() = text;
    EventRow row;
    bool inWindow = false;
    if (!takeEventXml(text, window, doc, &row, &inWindow)) {
      ++out->skipped;
      continue;
    }
    if (!inWindow) continue;
    // The record header's number orders the records (an exported log renumbers its headers
    // from 1 and keeps the original EventRecordID in the XML).
    uint64_t id = 0;
    if (libevtx_record_get_identifier(record.get(), &id, nullptr) == 1) row.recordId = id;
    out->add(row);
  }
  if (count > 0 && out->skipped == count) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(count) + " records is readable");
  }
  // A wrapped log's oldest chunk may stand anywhere in the file.
  out->rows.sortByKey();
  return Status::success();
}

}  // namespace sccevtmon::testing
