#pragma once

#include "platform/log_query.h"

namespace sccevtmon {

// TODO(log query engine): replace with the engine over .evtx files and rendered-XML exports.
// Until then no query object can be created, so every event log is skipped with its error.
class UnavailableLogQueryEngine : public LogQueryEngine {
 public:
  Status createQuery(std::unique_ptr<LogQuery>* query) override;
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override;
};

}  // namespace sccevtmon
