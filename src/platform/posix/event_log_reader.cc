#include "platform/posix/event_log_reader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "platform/posix/path.h"
#include "util/ascii.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

struct StdioCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
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
  std::vector<std::byte> bytes;
  std::FILE* file = std::fopen(toPosixPath(path).c_str(), "rb");
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
  return readEvtxExport(path, bytes, window, out);
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
