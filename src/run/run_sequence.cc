#include "run/run_sequence.h"

#include <cmath>
#include <new>
#include <stdexcept>

#include "base/text.h"
#include "base/time_stamp.h"
#include "env/execution_state.h"
#include "env/settings.h"
#include "extract/log_binding.h"
#include "extract/query_builder.h"
#include "extract/template_notes.h"
#include "platform/install_layout.h"
#include "report/post_logs.h"
#include "report/status_report.h"
#include "run/journal.h"
#include "run/report_files.h"
#include "run/startup.h"
#include "template/template_checksum.h"
#include "template/template_parser.h"

namespace sccevtmon {
namespace {

void reportAndEnd(RunState& rs, Platform& os) {
  // A report file that could not be handed over is the run's failure when nothing else was.
  if (trimSpaces(rs.failureReason).empty() && !rs.handOverFailure.empty()) {
    rs.failureReason = rs.handOverFailure;
  }
  fncPostExecutionStatus(rs, os);
  subEndApplication(rs);
}

// The integrity check of the template; leaves failureReason set when it fails.
void checkTemplateIntegrity(RunState& rs, Platform& os, const std::string& templatePath) {
  if (trimSpaces(rs.expectedChecksum).empty()) {
    rs.failureReason = "Checksum is missing for the event template";
    subWriteLog(rs, "ERR : " + rs.failureReason);
  } else if (const bool noChecksum = fncGenerateChecksum(rs, os, templatePath, rs.failureReason);
             noChecksum) {
    subWriteLog(rs, "ERR : " + rs.failureReason);
  } else if (toUpperAnsi(trimSpaces(rs.expectedChecksum)) !=
             toUpperAnsi(trimSpaces(rs.computedChecksum))) {
    rs.failureReason = "Checksum mismatched for event log";
    subWriteLog(rs, "ERR : " + rs.failureReason);
  }
  // A template that could not be read stops the run once its integrity is settled; the
  // parser has already logged why.
  if (trimSpaces(rs.failureReason).empty() && !rs.templateFailure.empty()) {
    rs.failureReason = rs.templateFailure;
  }
}

// Writes LastRun, and says so only once it is written: a LastRun left behind would send the
// same hours again at every later run, so failing to write it fails the run. A failure found
// earlier (the hand-over's included) stays the run's reason.
void saveLastRun(RunState& rs, Platform& os) {
  Status s =
      os.profile.writeString("LastRunDateTime", "LastRun", rs.monitorTime, rs.executionIniPath);
  if (s.ok()) {
    subWriteLog(rs,
                "MSG : Updating the " + rs.executionIniPath + " with value : " + rs.monitorTime);
    return;
  }
  const std::string why = "Failed to save the exe's last execution time. " + s.description + " (" +
                          os.files.nativePath(rs.executionIniPath) + ")";
  subWriteLog(rs, "ERR : " + why);
  if (trimSpaces(rs.failureReason).empty() && rs.handOverFailure.empty()) rs.failureReason = why;
}

}  // namespace

Status extractTemplateLogs(RunState& rs, Platform& os, bool* lastRunDue) {
  *lastRunDue = false;
  if (Status s = createReportFiles(rs, os); !s.ok()) return s;
  flushActivityLog(rs);
  if (rs.hasEntries) {
    if (Status s = writeTemplateHeaders(rs); !s.ok()) return s;
    for (const std::string& name : rs.eventLogNames) {
      subWriteLog(rs, "MSG : @@@@@@@@@@@ Event Source " + name);
      if (!trimSpaces(name).empty() && fncCreateLogParserObject(rs, os)) {
        fncGetAllEventDetails(rs, os, name);
        *lastRunDue = true;
      }
      flushActivityLog(rs);
    }
  }
  if (Status s = closeReportFiles(rs); !s.ok()) return s;
  subWriteLog(rs, "MSG : " + std::string(63, '-'));
  flushActivityLog(rs);
  return Status::success();
}

void applyEventThreshold(RunState& rs) {
  if (!rs.hasDetailRows) return;
  double limit = std::nearbyint(numericValue(rs.eventThreshold));
  if (static_cast<double>(rs.totalEventCount) > limit) {
    rs.hasDetailRows = false;
    subWriteLog(rs, "MSG : Threshold violated, Total Events generated for the entire agent is :: " +
                        decimal(rs.totalEventCount));
    subWriteLog(rs, "MSG : The Details Xml is:-" + loggedCopy(rs.detailXml));
  } else {
    subWriteLog(rs,
                "MSG : Total Events generated for the agent is :: " + decimal(rs.totalEventCount));
    subWriteLog(rs, "MSG :");
    subWriteLog(rs, "MSG : The Details Xml is:-" + loggedCopy(rs.detailXml));
    subWriteLog(rs, "MSG :");
  }
}

namespace {

// The run's steps. Returns the error that no step handled; early exits end the run themselves.
// The activity log is flushed at the end of each step (see flushActivityLog); the steps that
// post or hand files over flush it themselves before they do.
Status runSequence(RunState& rs, Platform& os) {
  if (Status s = subStartUp(rs, os); !s.ok() || rs.ended) return s;
  flushActivityLog(rs);
  rs.monitorTime = runTimestamp(os.clock.now());
  recoverReportFiles(rs, os);
  flushActivityLog(rs);

  const std::string templatePath = rs.installPath + layout::kTemplateFile;
  if (!os.files.fileExists(templatePath)) {
    rs.failureReason = "Event Template is missing.";
    reportAndEnd(rs, os);
    return Status::success();
  }
  {
    // The template is held while it is parsed, and let go before its hash: the agent's
    // library may open it without sharing. The checksum is of the bytes the parser read
    // (see ChecksumLibrary).
    std::unique_ptr<FileHold> hold;
    os.files.holdForReading(templatePath, &hold);
    fncParseWebpostData(rs, os, templatePath);
    logTemplateNotes(rs);
    hold.reset();
    checkTemplateIntegrity(rs, os, templatePath);
    rs.templateBytes.reset();
  }
  flushActivityLog(rs);
  if (!trimSpaces(rs.failureReason).empty()) {
    reportAndEnd(rs, os);
    return Status::success();
  }
  const bool gateOpen = fncChkLastRunTime(rs, os);
  flushActivityLog(rs);
  if (!gateOpen) {
    reportAndEnd(rs, os);
    return Status::success();
  }
  if (!os.files.fileExists(templatePath)) {
    subWriteLog(rs, "ERR : " + templatePath + ", not found");
    rs.failureReason = templatePath + " is missing";
    reportAndEnd(rs, os);
    return Status::success();
  }

  bool lastRunDue = false;
  if (Status s = extractTemplateLogs(rs, os, &lastRunDue); !s.ok()) return s;

  const std::string postLogs = rs.installPath + layout::kPostLogsFolder + "\\";
  subMoveFiles(rs, os, rs.installPath + rs.summaryFileName, postLogs + rs.summaryFileName,
               flagText(rs.hasSummaryRows), rs.summaryAsidePath);
  subWriteLog(rs, "MSG : The summary Xml is:-" + loggedCopy(rs.summaryXml));
  applyEventThreshold(rs);
  flushActivityLog(rs);
  subMoveFiles(rs, os, rs.installPath + rs.detailFileName, postLogs + rs.detailFileName,
               flagText(rs.hasDetailRows), rs.detailAsidePath);
  rs.summaryStream.reset();
  rs.detailStream.reset();
  // LastRun moves only now that both report files are settled: each is handed over, or waits
  // whole in the installation folder for the next run to hand it over, or is discarded. A run
  // that ends before this point leaves LastRun where it was, and its hour is extracted again.
  // A kept file still standing aside (it could not be put in place) keeps LastRun too.
  if (lastRunDue && !os.files.fileExists(rs.summaryAsidePath) &&
      !os.files.fileExists(rs.detailAsidePath)) {
    saveLastRun(rs, os);
  }
  flushActivityLog(rs);

  reportAndEnd(rs, os);
  return Status::success();
}

}  // namespace

void subMain(RunState& rs, Platform& os) {
  Status s;
  try {
    s = runSequence(rs, os);
  } catch (const std::bad_alloc&) {
    s = runtimeError(kErrOutOfMemory);
  } catch (const std::exception& e) {
    s = Status{kErrAutomation, e.what()};
  }
  if (!s.ok() && !rs.ended) {
    subWriteLog(rs, "MSG : Main, " + s.description);
    subEndApplication(rs);
  }
  tellJournal(rs, os, s);
}

}  // namespace sccevtmon
