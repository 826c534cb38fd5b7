#include "platform/posix/event_log_engine.h"

#include <cstdlib>

#include "platform/eventlog/log_query_parser.h"
#include "platform/posix/event_log_reader.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

class EventLogInputFormat : public LogInputFormat {};

// One row of the result, read through the query's column names.
class RowView : public LogRecord {
 public:
  RowView(const std::vector<SelectedColumn>& columns, const EventRow* row)
      : columns_(columns), row_(row) {}

  Status getValue(const std::string& column, LogValue* value) const override {
    for (const SelectedColumn& c : columns_) {
      if (asciiEqualsNoCase(c.name, column)) {
        if (row_ == nullptr) return Status{kErrAutomation, "There is no current record"};
        *value = row_->values[static_cast<int>(c.field)];
        return Status::success();
      }
    }
    return Status{kErrAutomation, "The query has no column named " + column};
  }

  void point(const EventRow* row) { row_ = row; }

 private:
  const std::vector<SelectedColumn>& columns_;
  const EventRow* row_;
};

class MemoryRecordSet : public LogRecordSet {
 public:
  MemoryRecordSet(std::vector<SelectedColumn> columns, EventLogContents contents)
      : columns_(std::move(columns)), contents_(std::move(contents)), view_(columns_, nullptr) {}

  long inputUnitsProcessed() override { return contents_.processed; }
  bool atEnd() override { return at_ >= contents_.rows.size(); }
  const LogRecord& getRecord() override {
    view_.point(atEnd() ? nullptr : &contents_.rows[at_]);
    return view_;
  }
  Status moveNext() override {
    if (!atEnd()) ++at_;
    return Status::success();
  }

 private:
  std::vector<SelectedColumn> columns_;
  EventLogContents contents_;
  RowView view_;
  size_t at_ = 0;
};

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
    *result = std::make_unique<MemoryRecordSet>(std::move(query.columns), std::move(contents));
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
  if (variable != nullptr && *variable != '\0') return variable;
  RegistryKey key = 0;
  if (!registry
           .openKey(RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", kKeyRead | kKeyWow64_32Key,
                    &key)
           .ok()) {
    return {};
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::string data;
  Status rc = registry.queryValue(key, "InstallationPath", &type, nullptr, &size);
  if (rc.ok() && size > 0) {
    data.resize(size);
    rc = registry.queryValue(key, "InstallationPath", &type, &data, &size);
  }
  registry.closeKey(key);
  if (!rc.ok() || (type != kRegSz && type != kRegExpandSz)) return {};
  data = data.substr(0, data.find('\0'));
  if (data.empty()) return {};
  if (data.back() != '\\' && data.back() != '/') data += '\\';
  return data + "EventLogs";
}

}  // namespace sccevtmon
