#include "report/status_report.h"

#include <charconv>
#include <cmath>
#include <new>

#include "base/text.h"
#include "base/time_stamp.h"
#include "env/execution_state.h"
#include "env/settings.h"
#include "platform/install_layout.h"
#include "report/web_post.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

const char kStatusSection[] = "wpdcmodjobexestsins";
const char kFailureSection[] = "wpdcmscctmpevtlgfail";
const char kStatusPage[] = "tfr_wpdcmscctmpevtlgst.asp";
const char kFailurePage[] = "tfr_wpdcmscctmpevtlgfail.asp";

// mmid, siteid, regid and scandt, shared by both reports.
std::string identityElements(const RunState& rs) {
  return xmlElement("mmid", escapeXmlText(rs.memberId)) +
         xmlElement("siteid", escapeXmlText(rs.siteId)) +
         xmlElement("regid", escapeXmlText(rs.regId)) +
         xmlElement("scandt", escapeXmlText(rs.monitorTime));
}

// exever, tmpid and tmpver, shared by both reports.
std::string versionElements(const RunState& rs) {
  return xmlElement("exever", escapeXmlText(rs.exeVersion)) +
         xmlElement("tmpid", numberText(numericValue(rs.templateId))) +
         xmlElement("tmpver", numberText(numericValue(rs.templateVersion)));
}

// The report URL of a section: the configured base URL (a '/' added when it lacks one) with
// the page and query. Without a configured value the status URL stays as read, and the failure
// URL takes the server URL's fallback.
std::string reportUrl(const RunState& rs, Platform& os, const std::string& section,
                      const std::string& page) {
  std::string value;
  fncGetIniString(os, value, section, "URL", rs.installPath + layout::kServerSettingsFile);
  std::string trimmed = trimSpaces(value);
  if (!trimmed.empty()) {
    std::string base = trimmed.back() == '/' ? value : trimmed + "/";
    return base + reportPageAndQuery(rs, page);
  }
  if (section == kStatusSection) return value;
  return fncGetServerURL(os, section, "") + reportPageAndQuery(rs, page);
}

// Writes a report that could not be posted into the post-logs folder. It is written aside and
// renamed when whole, so the folder never holds a part of it (a full disk leaves nothing).
Status spoolReport(RunState& rs, Platform& os, const std::string& prefix, const std::string& xml) {
  std::string path = rs.installPath + "\\" + layout::kPostLogsFolder + "\\" + prefix + rs.regId +
                     "_" + spoolStamp(os.clock.now()) + ".xml";
  subWriteLog(rs, "MSG : Creating File " + path);
  std::string aside;
  std::unique_ptr<TextStream> stream;
  if (Status s = os.files.createFileAside(path, &aside, &stream); !s.ok()) return s;
  Status s = stream->writeLine(xml);
  if (s.ok()) s = stream->close();
  // In place the agent may take it at once: the log first.
  if (s.ok()) flushActivityLog(rs);
  if (s.ok()) s = os.files.renameFile(aside, path);
  if (!s.ok()) {
    stream.reset();
    os.files.deleteFile(aside, true);
  }
  return s;
}

// The threshold as a whole number, rounded half to even. Only a text that is a number as a
// whole converts; the comparison is made in double precision, so no threshold overflows.
Status thresholdLimit(const std::string& text, double* limit) {
  std::string t = trimSpaces(text);
  const char* begin = t.data();
  const char* end = t.data() + t.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end || !((*begin >= '0' && *begin <= '9') || *begin == '.' || *begin == '-')) {
    return runtimeError(kErrTypeMismatch);
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec == std::errc::result_out_of_range) return runtimeError(kErrOverflow);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
    return runtimeError(kErrTypeMismatch);
  }
  *limit = std::nearbyint(value);
  return Status::success();
}

// A reason as [LastFailure] keeps it: on one line, every line break (CR LF, CR or LF) turned
// into a blank, so that a reason that spans lines cannot add lines to the file.
std::string storedReason(const std::string& reason) {
  std::string out;
  for (size_t i = 0; i < reason.size(); ++i) {
    char c = reason[i];
    if (c == '\r' && i + 1 < reason.size() && reason[i + 1] == '\n') ++i;
    out += c == '\r' || c == '\n' ? ' ' : c;
  }
  return out;
}

// The reason as the next run reads it back from [LastFailure]: stored, without the blanks the
// read drops around a value, and cut to what the read gives back. The same failure is
// recognised only when both sides are taken in this form.
std::string reasonAsReadBack(const std::string& reason) {
  std::string stored = storedReason(reason);
  return std::string(trimAscii(stored).substr(0, kIniStringLength));
}

void writeLastFailure(RunState& rs, Platform& os, const std::string& reason) {
  // Writes that fail (a missing folder) are ignored: the next run then finds no reason.
  const std::string file = executionIniPathOf(rs.installPath);
  os.profile.writeString("LastFailure", "Reason", storedReason(reason), file);
  os.profile.writeString("LastFailure", "ExecutedOn", rs.monitorTime, file);
}

Status postExecutionStatus(RunState& rs, Platform& os) {
  if (trimSpaces(rs.failureReason).empty()) rs.executionStatus = 1;

  std::string answer;
  std::string statusXml = statusReportXml(rs);
  if (!WebPost(rs, os, statusXml, reportUrl(rs, os, kStatusSection, kStatusPage), answer)) {
    if (Status s = spoolReport(rs, os, "wpdcmscctmpevtlgst_N_", statusXml); !s.ok()) return s;
  }

  // The threshold is tested whatever else failed, so two failures in one run lose neither:
  // the first stays the reason and the violation is logged. With a reason already set, a
  // threshold that does not convert must not keep that reason from being reported.
  const bool failedBefore = !trimSpaces(rs.failureReason).empty();
  double limit = 0;
  if (Status s = thresholdLimit(rs.eventThreshold, &limit); !s.ok()) {
    if (!failedBefore) return s;
  } else if (static_cast<double>(rs.totalEventCount) > limit) {
    const std::string violation = "Total events generated are " + decimal(rs.totalEventCount) +
                                  " which violates the threshold defined as " + rs.eventThreshold;
    if (failedBefore) {
      subWriteLog(rs, "MSG : " + violation);
    } else {
      rs.failureReason = violation;
    }
  }
  const std::string reason = trimSpaces(rs.failureReason);
  if (reason.empty()) {
    writeLastFailure(rs, os, "");
    return Status::success();
  }

  std::string lastReason;
  fncGetIniString(os, lastReason, "LastFailure", "Reason", executionIniPathOf(rs.installPath));
  if (!trimSpaces(lastReason).empty() &&
      trimSpaces(lastReason) == trimSpaces(reasonAsReadBack(rs.failureReason))) {
    subWriteLog(rs, "MSG : Same Failure occured, so failure webpost will not be send");
    writeLastFailure(rs, os, rs.failureReason);
    return Status::success();
  }
  // Recorded before the post, so a failure whose post fails is not posted again next run; its
  // report waits in the post-logs folder instead.
  writeLastFailure(rs, os, rs.failureReason);
  std::string url = reportUrl(rs, os, kFailureSection, kFailurePage);
  std::string failureXml = failureReportXml(rs);
  if (!WebPost(rs, os, failureXml, url, answer)) {
    return spoolReport(rs, os, "wpdcmscctmpevtlgfail_N_", failureXml);
  }
  return Status::success();
}

}  // namespace

std::string statusReportXml(const RunState& rs) {
  return "<wpdcmscctmpevtlgst>" + identityElements(rs) +
         xmlElement("status", decimal(rs.executionStatus)) + versionElements(rs) +
         "</wpdcmscctmpevtlgst>";
}

std::string failureReportXml(const RunState& rs) {
  return "<wpdcmscctmpevtlgfail>" + identityElements(rs) +
         xmlElement("faildesc", cdataSection(rs.failureReason)) + versionElements(rs) +
         "</wpdcmscctmpevtlgfail>";
}

std::string reportPageAndQuery(const RunState& rs, const std::string& page) {
  return page + "?mmid=" + percentEncode(rs.memberId) + "&sid=" + percentEncode(rs.siteId) +
         "&rid=" + percentEncode(rs.regId) + "&rty=" + percentEncode(rs.agentType);
}

std::string percentEncode(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : value) {
    unsigned char b = static_cast<unsigned char>(c);
    bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

std::string spoolStamp(const LocalTime& t) { return fileStamp(t) + decimal(t.second); }

bool fncPostExecutionStatus(RunState& rs, Platform& os) {
  Status s;
  try {
    s = postExecutionStatus(rs, os);
  } catch (const std::bad_alloc&) {
    s = runtimeError(kErrOutOfMemory);
  }
  if (!s.ok()) {
    subWriteLog(rs, "ERR : fncPostExecutionStatus, " + s.description);
    return false;
  }
  return true;
}

}  // namespace sccevtmon
