#include "platform/eventlog/exported_logs.h"

#include <algorithm>

#include "platform/install_layout.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

// One row of the result, read through the query's column names.
class RowView : public LogRecord {
 public:
  explicit RowView(const std::vector<SelectedColumn>& columns) : columns_(columns) {}

  Status getValue(const std::string& column, LogValue* value) const override {
    for (const SelectedColumn& c : columns_) {
      if (asciiEqualsNoCase(c.name, column)) {
        if (rows_ == nullptr) return Status{kErrAutomation, "There is no current record"};
        TextRows::Cell cell = rows_->cell(row_, static_cast<std::size_t>(c.field));
        *value = cell ? LogValue(std::string(*cell)) : std::nullopt;
        return Status::success();
      }
    }
    return Status{kErrAutomation, "The query has no column named " + column};
  }

  void point(const TextRows* rows, std::size_t row) {
    rows_ = rows;
    row_ = row;
  }

 private:
  const std::vector<SelectedColumn>& columns_;
  const TextRows* rows_ = nullptr;
  std::size_t row_ = 0;
};

class EventRecordSet : public LogRecordSet {
 public:
  EventRecordSet(std::vector<SelectedColumn> columns, EventLogContents contents)
      : columns_(std::move(columns)),
        processed_(contents.processed),
        skipNotes_(std::move(contents.skipNotes)),
        rows_(std::make_unique<TextRows>(std::move(contents.rows))),
        view_(columns_) {}

  long inputUnitsProcessed() override { return processed_; }
  std::vector<std::string> skipNotes() const override { return skipNotes_; }
  bool atEnd() override { return !rows_ || at_ >= rows_->size(); }
  const LogRecord& getRecord() override {
    if (atEnd()) {
      view_.point(nullptr, 0);
    } else {
      view_.point(rows_.get(), at_);
    }
    return view_;
  }
  Status moveNext() override {
    if (!atEnd()) ++at_;
    return Status::success();
  }

  std::unique_ptr<TextRows> takeRows(const std::vector<std::string>& columns) override {
    // The store holds the event fields in their own order; it serves when column k names the
    // k-th field.
    if (at_ != 0 || !rows_ || columns.size() != rows_->columns()) return nullptr;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      auto selected = std::find_if(columns_.begin(), columns_.end(), [&](const SelectedColumn& c) {
        return asciiEqualsNoCase(c.name, columns[k]);
      });
      if (selected == columns_.end() || static_cast<std::size_t>(selected->field) != k) {
        return nullptr;
      }
    }
    return std::move(rows_);
  }

 private:
  std::vector<SelectedColumn> columns_;
  long processed_;
  std::vector<std::string> skipNotes_;
  std::unique_ptr<TextRows> rows_;
  RowView view_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<LogRecordSet> makeEventRecordSet(std::vector<SelectedColumn> columns,
                                                 EventLogContents contents) {
  return std::make_unique<EventRecordSet>(std::move(columns), std::move(contents));
}

std::string installedEventLogFolder(Registry& registry) {
  RegistryKey key = 0;
  if (!registry
           .openKey(RegistryRoot::kLocalMachine, layout::kIdentityKey, kKeyRead | kKeyWow64_32Key,
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
  return data + layout::kEventLogsFolder;
}

}  // namespace sccevtmon
