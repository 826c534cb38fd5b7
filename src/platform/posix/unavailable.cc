#include "platform/posix/unavailable.h"

namespace sccevtmon {

Status UnavailableLogQueryEngine::createQuery(std::unique_ptr<LogQuery>*) {
  return runtimeError(kErrCannotCreateObject);
}

Status UnavailableLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>*) {
  return runtimeError(kErrCannotCreateObject);
}

}  // namespace sccevtmon
