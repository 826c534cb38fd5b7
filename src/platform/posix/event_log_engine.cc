#include "platform/posix/event_log_engine.h"

#include <cstdlib>

#include "platform/eventlog/exported_logs.h"
#include "platform/eventlog/log_query_parser.h"
#include "platform/posix/event_log_reader.h"
#include "util/ascii.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

class EventLogQuery : public LogQuery {
 public:
  explicit EventLogQuery(std::function<std::string()> folder) : folder_(std::move(folder)) {}

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
    s = isXml ? readRenderedXmlFile(path, window, &contents)
              : readEvtxFile(path, window, &contents);
    if (!s.ok()) return s;
    *result = makeEventRecordSet(std::move(query.columns), std::move(contents));
    return Status::success();
  }

 private:
  std::function<std::string()> folder_;
};

}  // namespace

PosixLogQueryEngine::PosixLogQueryEngine(std::function<std::string()> folder)
    : folder_(std::move(folder)) {}

Status PosixLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  *query = std::make_unique<EventLogQuery>(folder_);
  return Status::success();
}

Status PosixLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) {
  *format = std::make_unique<EventLogInputFormat>();
  return Status::success();
}

std::string systemEventLogFolder(Registry& registry) {
  const char* variable = std::getenv("SCCEVTMON_EVENTLOG_DIR");
  // The environment gives the file system's name; the folder is the program's text.
  if (variable != nullptr && *variable != '\0') return utf8ToAnsi(variable);
  return installedEventLogFolder(registry);
}

}  // namespace sccevtmon
