#include "report/post_logs.h"

#include "base/text.h"

namespace sccevtmon {
namespace {

// Converts a flag text as the runtime's Boolean conversion does.
Status parseFlag(const std::string& text, bool* flag) {
  std::string t = trimSpaces(text);
  if (equalsNoCase(t, "true")) {
    *flag = true;
  } else if (equalsNoCase(t, "false")) {
    *flag = false;
  } else {
    // Only a text that is a number as a whole converts.
    bool digits = false;
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    for (; i < t.size(); ++i) {
      if (t[i] >= '0' && t[i] <= '9') {
        digits = true;
      } else if (t[i] != '.') {
        return runtimeError(kErrTypeMismatch);
      }
    }
    if (!digits) return runtimeError(kErrTypeMismatch);
    *flag = numericValue(t) != 0;
  }
  return Status::success();
}

Status moveFile(RunState& rs, Platform& os, const std::string& source,
                const std::string& destination, const std::string& copyFlag) {
  if (!os.files.fileExists(source)) return Status::success();
  bool copy = false;
  if (Status s = parseFlag(copyFlag, &copy); !s.ok()) return s;
  if (copy) {
    subWriteLog(rs, "MSG : Copying file " + source + " to " + destination);
    if (Status s = os.files.copyFile(source, destination, true); !s.ok()) return s;
  } else {
    subWriteLog(rs, "MSG : No events generated");
  }
  subWriteLog(rs, "MSG : Deleting file " + source);
  return os.files.deleteFile(source, true);
}

}  // namespace

void subMoveFiles(RunState& rs, Platform& os, const std::string& source,
                  const std::string& destination, const std::string& copyFlag) {
  Status s = moveFile(rs, os, source, destination, copyFlag);
  if (!s.ok()) subWriteLog(rs, "ERR : subMoveFiles, " + s.description);
}

}  // namespace sccevtmon
