#include "platform/posix/event_log_engine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/exported_logs.h"
#include "platform/eventlog/log_query_parser.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "platform/posix/event_log_reader.h"
#include "platform/posix/path.h"
#include "util/ascii.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

class EventLogQuery : public LogQuery {
 public:
  EventLogQuery(FileSystem& files, std::function<std::string()> folder)
      : files_(files), folder_(std::move(folder)) {}

  Status execute(const std::string& text, LogInputFormat& format,
                 std::unique_ptr<LogRecordSet>* result) override {
    if (dynamic_cast<EventLogInputFormat*>(&format) == nullptr) {
      return Status{kErrInvalidCall, "The input format is not an event-log input format"};
    }
    LogQueryText query;
    Status s = parseLogQuery(text, &query);
    if (!s.ok()) return s;
    std::string folder = folder_();
    if (folder.empty()) {
      return Status{kErrAutomation,
                    "The specified event log " + query.logName +
                        " was not found: the event-log folder is not known (neither "
                        "SCCEVTMON_EVENTLOG_DIR nor the installation path is set)"};
    }
    std::string path;
    s = findEventLogFile(folder, query.logName, &path);
    if (!s.ok()) return s;
    EventWindow window{query.hasWindow, query.windowFrom, query.windowTo};
    EventLogContents contents;
    bool isXml = asciiEndsWithNoCase(path, ".xml");
    s = isXml ? readRenderedXmlExport(files_, path, window, &contents)
              : readEvtxExport(files_, path, window, &contents);
    if (!s.ok()) return s;
    *result = makeEventRecordSet(std::move(query.columns), std::move(contents));
    return Status::success();
  }

 private:
  FileSystem& files_;
  std::function<std::string()> folder_;
};

}  // namespace

PosixLogQueryEngine::PosixLogQueryEngine(FileSystem& files, std::function<std::string()> folder)
    : files_(files), folder_(std::move(folder)) {}

Status PosixLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  *query = std::make_unique<EventLogQuery>(files_, folder_);
  return Status::success();
}

Status PosixLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) {
  *format = std::make_unique<EventLogInputFormat>();
  return Status::success();
}

Status PosixLogQueryEngine::listLogs(std::vector<EventLogSource>* logs) {
  logs->clear();
  // Folder, names and locations are the program's text, as findEventLogFile takes them.
  const std::string dir = withPosixSeparators(folder_());
  if (dir.empty()) return Status{kErrAutomation, "The event-log folder is not known"};
  DIR* d = ::opendir(toPosixPath(dir).c_str());
  if (d == nullptr) {
    return Status{kErrPathNotFound, "cannot list " + dir + ": " + std::strerror(errno)};
  }
  std::vector<std::string> files;
  while (dirent* entry = ::readdir(d)) {
    if (auto name = fromPosixName(entry->d_name)) files.push_back(*name);
  }
  ::closedir(d);
  std::sort(files.begin(), files.end());
  for (const char* extension : {".evtx", ".xml"}) {
    for (const std::string& file : files) {
      if (!asciiEndsWithNoCase(file, extension) || file.size() == std::strlen(extension)) continue;
      std::string full = dir + (dir.back() == '/' ? "" : "/") + file;
      struct stat st {};
      if (::stat(toPosixPath(full).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      std::string base = file.substr(0, file.size() - std::strlen(extension));
      std::string name;
      for (std::size_t i = 0; i < base.size(); ++i) {
        if (base.compare(i, 2, "%4") == 0) {
          name += '/';
          ++i;
        } else {
          name += base[i];
        }
      }
      // Names a query can never find (see findEventLogFile) are not offered.
      if (name.find('\\') != std::string::npos || name.find_first_not_of('.') == std::string::npos)
        continue;
      bool listed = std::any_of(logs->begin(), logs->end(), [&](const EventLogSource& log) {
        return asciiEqualsNoCase(log.name, name);
      });
      if (!listed) logs->push_back({name, full});
    }
  }
  std::sort(logs->begin(), logs->end(),
            [](const EventLogSource& a, const EventLogSource& b) { return a.name < b.name; });
  return Status::success();
}

void PosixLogQueryEngine::readLogsFrom(const std::string& folder) {
  folder_ = [folder] { return folder; };
}

std::string systemEventLogFolder(Registry& registry) {
  const char* variable = std::getenv("SCCEVTMON_EVENTLOG_DIR");
  // The environment gives the file system's name; the folder is the program's text.
  if (variable != nullptr && *variable != '\0') return utf8ToAnsi(variable);
  return installedEventLogFolder(registry);
}

}  // namespace sccevtmon
