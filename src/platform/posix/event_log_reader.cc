#include "platform/posix/event_log_reader.h"

#include <dirent.h>
#include <libevtx.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/eventlog/rendered_xml_reader.h"
#include "platform/posix/path.h"
#include "util/ascii.h"
#include "util/xml_document.h"

namespace sccevtmon {
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

struct StdioCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct EvtxFileCloser {
  void operator()(libevtx_file_t* file) const {
    libevtx_file_close(file, nullptr);
    libevtx_file_free(&file, nullptr);
  }
};
struct RecordFreer {
  void operator()(libevtx_record_t* record) const { libevtx_record_free(&record, nullptr); }
};

bool isWellFormedName(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
  return name.find_first_not_of('.') != std::string::npos;
}

}  // namespace

Status findEventLogFile(const std::string& folder, const std::string& logName, std::string* path) {
  std::string dir = withPosixSeparators(folder);
  Status notFound = engineError("The specified event log " + logName + " was not found in " + dir);
  if (!isWellFormedName(logName)) return notFound;
  std::string base;
  for (char c : logName) base += c == '/' ? std::string("%4") : std::string(1, c);
  // The names are compared as the program's text; a name Windows-1252 cannot hold is left out.
  std::vector<std::string> names;
  if (DIR* d = opendir(toPosixPath(dir).c_str())) {
    while (dirent* entry = readdir(d)) {
      if (auto name = fromPosixName(entry->d_name)) names.push_back(*name);
    }
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
      else if (asciiEqualsNoCase(n, wanted))
        candidates.push_back(n);
    }
    for (const std::string& n : candidates) {
      std::string full = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + n;
      struct stat st {};
      if (stat(toPosixPath(full).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        *path = full;
        return Status::success();
      }
    }
  }
  return notFound;
}

Status readEvtxFile(const std::string& path, const EventWindow& window, EventLogContents* out) {
  *out = EventLogContents{};
  libevtx_error_t* error = nullptr;
  libevtx_file_t* raw = nullptr;
  if (libevtx_file_initialize(&raw, &error) != 1) {
    return engineError("The event log reader cannot start: " + takeError(&error));
  }
  if (libevtx_file_open(raw, toPosixPath(path).c_str(), LIBEVTX_OPEN_READ, &error) != 1) {
    std::string why = takeError(&error);
    libevtx_file_free(&raw, nullptr);
    return engineError("The event log file " + path + " cannot be opened as an event log: " + why);
  }
  std::unique_ptr<libevtx_file_t, EvtxFileCloser> file(raw);
  int count = 0;
  if (libevtx_file_get_number_of_records(file.get(), &count, &error) != 1) {
    return engineError("The event log file " + path + " cannot be read: " + takeError(&error));
  }
  XmlDocument doc;
  std::string xml;
  for (int i = 0; i < count; ++i) {
    ++out->processed;
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
    out->rows.push_back(std::move(row));
  }
  if (count > 0 && out->skipped == count) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(count) + " records is readable");
  }
  // A wrapped log's oldest chunk may stand anywhere in the file.
  std::stable_sort(out->rows.begin(), out->rows.end(),
                   [](const EventRow& a, const EventRow& b) { return a.recordId < b.recordId; });
  return Status::success();
}

Status readRenderedXmlFile(const std::string& path, const EventWindow& window,
                           EventLogContents* out) {
  *out = EventLogContents{};
  std::unique_ptr<std::FILE, StdioCloser> file(std::fopen(toPosixPath(path).c_str(), "rb"));
  if (!file) {
    return engineError("The event log file cannot be read: cannot read " + path + ": " +
                       std::strerror(errno));
  }
  auto read = [&](char* buffer, size_t size, size_t* count) {
    *count = std::fread(buffer, 1, size, file.get());
    if (*count < size && std::ferror(file.get())) {
      return Status{kErrDeviceIo, "cannot read the XML file"};
    }
    return Status::success();
  };
  return readRenderedXml(path, read, window, out);
}

}  // namespace sccevtmon
