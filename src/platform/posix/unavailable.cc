#include "platform/posix/unavailable.h"

namespace sccevtmon {

Status UnavailableWebPost::create(std::unique_ptr<WebPostObject>*) {
  return runtimeError(kErrCannotCreateObject);
}

}  // namespace sccevtmon
