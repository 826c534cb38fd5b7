#include "report/post_logs.h"

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "platform/install_layout.h"
#include "util/xml_document.h"

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
                const std::string& destination, const std::string& copyFlag,
                const std::string& asidePath) {
  if (!asidePath.empty() && os.files.fileExists(asidePath)) {
    bool keep = false;
    if (Status s = parseFlag(copyFlag, &keep); !s.ok()) return s;
    if (!keep) {
      // Discarded where it was written; it never stands in place, so no later run can take
      // it for a file to hand over.
      subWriteLog(rs, "MSG : No events generated");
      subWriteLog(rs, "MSG : Deleting file " + source);
      return os.files.deleteFile(asidePath, true);
    }
    // In place it waits, whole, until it is handed over, by this run or the next.
    if (Status s = os.files.renameFile(asidePath, source); !s.ok()) return s;
  }
  if (!os.files.fileExists(source)) return Status::success();
  bool copy = false;
  if (Status s = parseFlag(copyFlag, &copy); !s.ok()) return s;
  if (copy) {
    subWriteLog(rs, "MSG : Copying file " + source + " to " + destination);
    // The agent may take the copy as soon as it stands in place: the log first.
    flushActivityLog(rs);
    if (Status s = os.files.copyFile(source, destination, true); !s.ok()) return s;
  } else {
    subWriteLog(rs, "MSG : No events generated");
  }
  subWriteLog(rs, "MSG : Deleting file " + source);
  return os.files.deleteFile(source, true);
}

}  // namespace

void subMoveFiles(RunState& rs, Platform& os, const std::string& source,
                  const std::string& destination, const std::string& copyFlag,
                  const std::string& asidePath) {
  Status s = moveFile(rs, os, source, destination, copyFlag, asidePath);
  if (!s.ok()) {
    // The error alone ("File already exists") does not say which of the files it is about.
    subWriteLog(rs, "ERR : subMoveFiles, " + s.description + ": " + source + " -> " + destination);
    if (rs.handOverFailure.empty()) {
      rs.handOverFailure =
          "The report file " + source + " could not be handed over: " + s.description;
    }
  }
  flushActivityLog(rs);
}

namespace {

// Whether name is one of the report files of the agent (the two report files and the two kept
// reports, "<prefix><regId>_<stamp>.xml"), and if so whether it is whole: a name followed by
// the aside mark is unfinished. A name of another shape is none of ours.
enum class ReportFileName { kNone, kWhole, kUnfinished };

ReportFileName classify(const std::string& name, const std::string& regId, bool reportFilesOnly) {
  static const char* const kReportPrefixes[] = {"wpevntsummdsk_N_", "wpevntdumpdsk_Y_"};
  static const char* const kKeptPrefixes[] = {"wpdcmscctmpevtlgst_N_", "wpdcmscctmpevtlgfail_N_"};
  bool report = false;
  bool ours = false;
  for (const char* prefix : kReportPrefixes) {
    if (name.starts_with(std::string(prefix) + regId + "_")) ours = report = true;
  }
  for (const char* prefix : kKeptPrefixes) {
    if (name.starts_with(std::string(prefix) + regId + "_")) ours = true;
  }
  if (!ours) return ReportFileName::kNone;
  std::size_t xml = name.find(".xml");
  if (xml == std::string::npos) return ReportFileName::kNone;
  if (name.compare(xml + 4, std::string::npos, "") == 0) {
    return report || !reportFilesOnly ? ReportFileName::kWhole : ReportFileName::kNone;
  }
  if (name.compare(xml + 4, sizeof kAsideMark - 1, kAsideMark) == 0) {
    return ReportFileName::kUnfinished;
  }
  return ReportFileName::kNone;
}

// The largest leftover report file read to see whether it is whole: above a full detail file
// of 32767 rows with long messages.
constexpr std::uint64_t kMaxLeftoverBytes = std::uint64_t{256} << 20;

// Whether a leftover under a report file's name is a whole report of its kind for this
// REGID: the summary file is one document rooted in <wpevntsummdsk> whose <regid> is the
// REGID; the detail file is a sequence of elements that parses and starts with <agtregid>
// holding it. A file cut short no longer parses. The run writes ANSI bytes without a
// declaration, so the file is read as the code page it was written in.
bool isWholeReport(Platform& os, const std::string& path, const std::string& name,
                   const std::string& regId) {
  std::string bytes;
  if (!os.files.readFile(path, &bytes, kMaxLeftoverBytes).ok()) return false;
  const bool summary = name.starts_with("wpevntsummdsk_N_");
  XmlLoadOptions options;
  options.fragment = !summary;
  options.replaceBadBytes = true;
  XmlDocument doc;
  bytes.insert(0, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>");
  if (!doc.loadBytes(bytes, options).ok()) return false;
  XmlNode root = doc.rootElement();
  if (summary) {
    if (!root.isElement("wpevntsummdsk")) return false;
    XmlNode id = root.firstElement("regid");
    return id && id.text() == regId;
  }
  return root.isElement("agtregid") && root.text() == regId;
}

}  // namespace

void recoverReportFiles(RunState& rs, Platform& os) {
  const std::string postLogs = rs.installPath + layout::kPostLogsFolder + "\\";
  std::vector<std::string> names;
  if (os.files.listFiles(rs.installPath, &names).ok()) {
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      ReportFileName kind = classify(name, rs.regId, true);
      if (kind == ReportFileName::kWhole &&
          !isWholeReport(os, rs.installPath + name, name, rs.regId)) {
        // The agent collects only the post-logs folder, so the file waits here, out of the
        // way of every later run, for someone to look at it.
        const std::string rejected = name + ".rejected";
        Status s = os.files.renameFile(rs.installPath + name, rs.installPath + rejected);
        subWriteLog(rs, "ERR : The file " + rs.installPath + name +
                            " is not a whole report of its kind" +
                            (s.ok() ? ", renamed to " + rs.installPath + rejected
                                    : "; renaming it to " + rs.installPath + rejected +
                                          " failed: " + s.description));
        rs.rejectedFiles.push_back(name);
      } else if (kind == ReportFileName::kWhole) {
        subWriteLog(rs, "MSG : Handing over the report file " + rs.installPath + name +
                            " left by an earlier run");
        subMoveFiles(rs, os, rs.installPath + name, postLogs + name, "True");
      } else if (kind == ReportFileName::kUnfinished) {
        subWriteLog(rs, "MSG : Removing the unfinished file " + rs.installPath + name +
                            " left by an interrupted run");
        os.files.deleteFile(rs.installPath + name, true);
      }
    }
  }
  // A copy or a kept report cut short in the post-logs folder.
  if (os.files.listFiles(postLogs, &names).ok()) {
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (classify(name, rs.regId, false) != ReportFileName::kUnfinished) continue;
      subWriteLog(rs, "MSG : Removing the unfinished file " + postLogs + name +
                          " left by an interrupted run");
      os.files.deleteFile(postLogs + name, true);
    }
  }
}

}  // namespace sccevtmon
