#include "extract/record_loading.h"

namespace sccevtmon {

bool fncCreateRecordSet(RunState& rs, Platform&, std::unique_ptr<LogQuery>&,
                        const std::string& query, const std::string&, std::string& failureReason) {
  // TODO(record loading and filter pipeline): run the query, load the rows and filter them per
  // entry. Until then the log is reported as not read, through the routine's error path.
  subWriteLog(rs, "MSG : In fncCreateRecordSet, Query :: " + query);
  failureReason =
      std::to_string(kErrAutomation) + " Err DescriptionEvent rows cannot be loaded by this build";
  subWriteLog(rs, "ERR : fncCreateRecordSet() " + failureReason);
  return false;
}

}  // namespace sccevtmon
