#include "report/status_report.h"

#include "base/text.h"

namespace sccevtmon {

bool fncPostExecutionStatus(RunState& rs, Platform&) {
  // TODO(status and failure reports): build, post and spool the reports. Until then only the
  // run's status is settled; nothing is sent and nothing is claimed to be.
  rs.executionStatus = trimSpaces(rs.failureReason).empty() ? 1 : 0;
  return false;
}

}  // namespace sccevtmon
