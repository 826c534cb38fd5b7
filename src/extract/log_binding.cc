#include "extract/log_binding.h"

namespace sccevtmon {
namespace {

std::string withoutCrLf(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 2);
  }
  return text;
}

}  // namespace

bool fncCreateLogParserObject(RunState& rs, Platform& os) {
  subWriteLog(rs, "MSG : " + std::string(63, '-'));
  subWriteLog(rs, "MSG : fncCreateLogParserObject, Creating objects for log parser");
  std::unique_ptr<LogQuery> query;
  Status s = os.logQuery.createQuery(&query);
  if (s.ok()) {
    rs.logQuery = std::move(query);
    std::unique_ptr<LogInputFormat> format;
    s = os.logQuery.createEventLogInputFormat(&format);
    if (s.ok()) rs.logInputFormat = std::move(format);
  }
  if (!s.ok()) {
    rs.failureReason = "Failed to instantiate logparser ," + withoutCrLf(s.description);
    subWriteLog(rs, "ERR : fncCreateLogParserObject," + rs.failureReason);
    return false;
  }
  return true;
}

}  // namespace sccevtmon
