#include "platform/eventlog/exported_logs.h"

#include "util/ascii.h"

namespace sccevtmon {
namespace {

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

class EventRecordSet : public LogRecordSet {
 public:
  EventRecordSet(std::vector<SelectedColumn> columns, EventLogContents contents)
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

}  // namespace

std::unique_ptr<LogRecordSet> makeEventRecordSet(std::vector<SelectedColumn> columns,
                                                 EventLogContents contents) {
  return std::make_unique<EventRecordSet>(std::move(columns), std::move(contents));
}

std::string installedEventLogFolder(Registry& registry) {
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
