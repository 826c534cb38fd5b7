#include "testing/fake_log_query.h"

namespace sccevtmon {
namespace {

class FakeRecord : public LogRecord {
 public:
  const FakeLogRow* row = nullptr;
  Status getValue(const std::string& column, LogValue* value) const override {
    auto it = row->find(column);
    if (it == row->end()) return Status{kErrAutomation, "Unknown field " + column};
    *value = it->second;
    return Status::success();
  }
};

class FakeRecordSet : public LogRecordSet {
 public:
  FakeRecordSet(const FakeLogQueryEngine::Answer& answer) : answer_(answer) {}
  long inputUnitsProcessed() override {
    return answer_.inputUnits >= 0 ? answer_.inputUnits : static_cast<long>(answer_.rows.size());
  }
  bool atEnd() override { return next_ >= answer_.rows.size(); }
  std::vector<std::string> skipNotes() const override { return answer_.skipNotes; }
  const LogRecord& getRecord() override {
    record_.row = &answer_.rows[next_];
    return record_;
  }
  Status moveNext() override {
    ++next_;
    return Status::success();
  }

 private:
  const FakeLogQueryEngine::Answer& answer_;
  size_t next_ = 0;
  FakeRecord record_;
};

class FakeQuery : public LogQuery {
 public:
  explicit FakeQuery(FakeLogQueryEngine& engine) : engine_(engine) {}
  Status execute(const std::string& query, LogInputFormat&,
                 std::unique_ptr<LogRecordSet>* result) override {
    engine_.queries.push_back(query);
    const FakeLogQueryEngine::Answer* answer = &engine_.otherwise;
    size_t from = query.find(" FROM '");
    if (from != std::string::npos) {
      size_t end = query.find("' WHERE", from);
      auto it = engine_.byLog.find(query.substr(from + 7, end - from - 7));
      if (it != engine_.byLog.end()) answer = &it->second;
    }
    if (!answer->status.ok()) return answer->status;
    *result = std::make_unique<FakeRecordSet>(*answer);
    return Status::success();
  }

 private:
  FakeLogQueryEngine& engine_;
};

}  // namespace

Status FakeLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  if (!createStatus.ok()) return createStatus;
  ++created;
  *query = std::make_unique<FakeQuery>(*this);
  return Status::success();
}

Status FakeLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) {
  if (!createStatus.ok()) return createStatus;
  *format = std::make_unique<LogInputFormat>();
  return Status::success();
}

}  // namespace sccevtmon
