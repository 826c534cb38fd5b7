#include "platform/eventlog/exported_log_engine.h"

#include <algorithm>
#include <string_view>

#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/exported_logs.h"
#include "platform/eventlog/log_query_parser.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

// The order in which a log's files are looked for: an .evtx export holds what a rendered one
// may have lost (binary data, values without text), so it comes first.
constexpr const char* kExtensions[] = {".evtx", ".xml"};

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// The folder as this system writes paths, for the texts an operator reads and the paths
// handed back: the portable build's folders may be written with either separator, its texts
// use '/'.
std::string shownFolder(const std::string& folder) {
#ifdef _WIN32
  return folder;
#else
  std::string shown;
  for (char c : folder) {
    char s = c == '\\' ? '/' : c;
    if (s != '/' || shown.empty() || shown.back() != '/') shown += s;
  }
  return shown;
#endif
}

std::string inFolder(const std::string& shown, const std::string& file) {
#ifdef _WIN32
  constexpr char kSeparator = '\\';
#else
  constexpr char kSeparator = '/';
#endif
  if (shown.empty() || shown.back() == '/' || shown.back() == '\\') return shown + file;
  return shown + kSeparator + file;
}

// A log name names one file in the folder and nothing else.
bool isWellFormedName(const std::string& name) {
  if (name.find_first_of(std::string_view("\\\0", 2)) != std::string::npos) return false;
  return name.find_first_not_of('.') != std::string::npos;
}

// The log a file holds, as queries name it, or "" for a file that is no log export.
std::string logNameOf(const std::string& file, std::string_view extension) {
  if (file.size() <= extension.size() || !asciiEndsWithNoCase(file, std::string(extension))) {
    return {};
  }
  std::string name;
  std::string base = file.substr(0, file.size() - extension.size());
  for (std::size_t i = 0; i < base.size(); ++i) {
    bool slash = base.compare(i, 2, "%4") == 0;
    name += slash ? '/' : base[i];
    if (slash) ++i;
  }
  // A name no query can find is not offered.
  return isWellFormedName(name) ? name : std::string();
}

// The file of log logName in the sorted listing names, or "".
std::string fileOf(const std::vector<std::string>& names, const std::string& logName) {
  if (!isWellFormedName(logName)) return {};
  std::string base;
  for (char c : logName) base += c == '/' ? std::string("%4") : std::string(1, c);
  for (const char* extension : kExtensions) {
    std::string wanted = base + extension;
    // On a file system that tells case apart, the file named exactly wins over its kin.
    if (std::binary_search(names.begin(), names.end(), wanted)) return wanted;
    for (const std::string& n : names) {
      if (asciiEqualsNoCase(n, wanted)) return n;
    }
  }
  return {};
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
    if (folder.empty()) {
      return engineError("The specified event log " + query.logName +
                         " was not found: the event-log folder is not known");
    }
    std::string shown = shownFolder(folder);
    std::vector<std::string> names;
    // A folder that cannot be listed holds no log a query can find.
    if (!files_.listReadableFiles(folder, &names).ok()) names.clear();
    std::sort(names.begin(), names.end());
    std::string file = fileOf(names, query.logName);
    if (file.empty()) {
      return engineError("The specified event log " + query.logName + " was not found in " + shown);
    }
    std::string path = inFolder(shown, file);
    EventWindow window{query.hasWindow, query.windowFrom, query.windowTo};
    EventLogContents contents;
    s = asciiEndsWithNoCase(file, ".xml") ? readRenderedXmlExport(files_, path, window, &contents)
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
  std::string shown = shownFolder(folder);
  std::vector<std::string> names;
  if (Status s = files_.listReadableFiles(folder, &names); !s.ok()) {
    return Status{kErrPathNotFound, "cannot list " + shown + ": " + s.description};
  }
  std::sort(names.begin(), names.end());
  for (const char* extension : kExtensions) {
    for (const std::string& file : names) {
      std::string name = logNameOf(file, extension);
      if (name.empty()) continue;
      // The file a query reads: the first of its kin (fileOf).
      bool listed = std::any_of(logs->begin(), logs->end(), [&](const EventLogSource& log) {
        return asciiEqualsNoCase(log.name, name);
      });
      if (!listed) logs->push_back({name, inFolder(shown, file)});
    }
  }
  std::sort(logs->begin(), logs->end(),
            [](const EventLogSource& a, const EventLogSource& b) { return a.name < b.name; });
  return Status::success();
}

void ExportedLogQueryEngine::readLogsFrom(const std::string& folder) {
  folder_ = [folder] { return folder; };
}

}  // namespace sccevtmon
