#include "platform/win32/event_log_engine.h"

#include <windows.h>

#include <algorithm>

#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/exported_logs.h"
#include "platform/eventlog/log_query_parser.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// A log name names one file in the folder and nothing else: no separator, drive, stream or
// wildcard, and not only dots.
bool isWellFormedName(const std::string& name) {
  if (name.find_first_of(std::string("\\:*?\"<>|\0", 10)) != std::string::npos) return false;
  return name.find_first_not_of('.') != std::string::npos;
}

bool isFile(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

class ExportedLogQuery : public LogQuery {
 public:
  ExportedLogQuery(FileSystem& files, std::function<std::string()> folder)
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
    Status notFound =
        engineError("The specified event log " + query.logName + " was not found in " + folder);
    if (folder.empty() || !isWellFormedName(query.logName)) return notFound;
    std::string base = folder + (folder.back() == '\\' ? "" : "\\");
    for (char c : query.logName) base += c == '/' ? std::string("%4") : std::string(1, c);
    // Names compare without regard to case in the file system itself. As on the portable
    // build, an .evtx file comes before a rendered-XML one.
    EventWindow window{query.hasWindow, query.windowFrom, query.windowTo};
    EventLogContents contents;
    if (isFile(base + ".evtx")) {
      s = readEvtxExport(files_, base + ".evtx", window, &contents);
    } else if (isFile(base + ".xml")) {
      s = readRenderedXmlExport(files_, base + ".xml", window, &contents);
    } else {
      return notFound;
    }
    if (!s.ok()) return s;
    *result = makeEventRecordSet(std::move(query.columns), std::move(contents));
    return Status::success();
  }

 private:
  FileSystem& files_;
  std::function<std::string()> folder_;
};

}  // namespace

ExportedLogQueryEngine::ExportedLogQueryEngine(FileSystem& files,
                                               std::function<std::string()> folder)
    : files_(files), folder_(std::move(folder)) {}

Status ExportedLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  *query = std::make_unique<ExportedLogQuery>(files_, folder_);
  return Status::success();
}

Status ExportedLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) {
  *format = std::make_unique<EventLogInputFormat>();
  return Status::success();
}

Status ExportedLogQueryEngine::listLogs(std::vector<EventLogSource>* logs) {
  logs->clear();
  std::string folder = folder_();
  if (folder.empty()) return Status{kErrAutomation, "The event-log folder is not known"};
  std::string dir = folder + (folder.back() == '\\' ? "" : "\\");
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return Status{kErrPathNotFound, "cannot list " + folder};
  }
  for (const char* extension : {".evtx", ".xml"}) {
    const std::string ext = extension;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*" + ext).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      std::string file = found.cFileName;
      // The pattern also matches longer extensions through their short names.
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || file.size() <= ext.size() ||
          !asciiEndsWithNoCase(file, ext)) {
        continue;
      }
      std::string name;
      std::string base = file.substr(0, file.size() - ext.size());
      for (size_t i = 0; i < base.size(); ++i) {
        bool slash = base.compare(i, 2, "%4") == 0;
        name += slash ? '/' : base[i];
        if (slash) ++i;
      }
      // Names a query can never find are not offered; a name with both files is the .evtx
      // file, which a query reads.
      bool listed = std::any_of(logs->begin(), logs->end(), [&](const EventLogSource& log) {
        return asciiEqualsNoCase(log.name, name);
      });
      if (isWellFormedName(name) && !listed) logs->push_back({name, dir + file});
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(logs->begin(), logs->end(),
            [](const EventLogSource& a, const EventLogSource& b) { return a.name < b.name; });
  return Status::success();
}

void ExportedLogQueryEngine::readLogsFrom(const std::string& folder) {
  folder_ = [folder] { return folder; };
}

}  // namespace sccevtmon
