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

Status readExport(const std::string& path, const EventWindow& window, EventLogContents* out) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return engineError("The event log file " + path + " cannot be opened (system error " +
                       std::to_string(GetLastError()) + ")");
  }
  auto read = [file](char* buffer, size_t size, size_t* count) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &n,
                  nullptr)) {
      return Status{kErrDeviceIo, "cannot read the XML file"};
    }
    *count = n;
    return Status::success();
  };
  Status s = readRenderedXml(path, read, window, out);
  CloseHandle(file);
  return s;
}

// An .evtx export, read whole and decoded as the portable build decodes it.
Status readEvtxExportFile(const std::string& path, const EventWindow& window,
                          EventLogContents* out) {
  *out = EventLogContents{};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return engineError("The event log file " + path +
                       " cannot be opened as an event log (system error " +
                       std::to_string(GetLastError()) + ")");
  }
  std::vector<std::byte> bytes;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (ok && size.QuadPart > 0) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < bytes.size()) {
      DWORD n = 0;
      DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      ok = ReadFile(file, bytes.data() + done, want, &n, nullptr) != 0;
      if (n == 0) break;
      done += n;
    }
    bytes.resize(done);
  }
  DWORD error = ok ? 0 : GetLastError();
  CloseHandle(file);
  if (!ok) {
    return engineError("The event log file " + path + " cannot be read (system error " +
                       std::to_string(error) + ")");
  }
  return readEvtxExport(path, bytes, window, out);
}

class ExportedLogQuery : public LogQuery {
 public:
  explicit ExportedLogQuery(std::function<std::string()> folder) : folder_(std::move(folder)) {}

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
      s = readEvtxExportFile(base + ".evtx", window, &contents);
    } else if (isFile(base + ".xml")) {
      s = readExport(base + ".xml", window, &contents);
    } else {
      return notFound;
    }
    if (!s.ok()) return s;
    *result = makeEventRecordSet(std::move(query.columns), std::move(contents));
    return Status::success();
  }

 private:
  std::function<std::string()> folder_;
};

}  // namespace

ExportedLogQueryEngine::ExportedLogQueryEngine(std::function<std::string()> folder)
    : folder_(std::move(folder)) {}

Status ExportedLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  *query = std::make_unique<ExportedLogQuery>(folder_);
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
