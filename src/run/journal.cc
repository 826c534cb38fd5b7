#include "run/journal.h"

#include <algorithm>
#include <tuple>

#include "base/text.h"
#include "platform/install_layout.h"
#include "run/check.h"
#include "run/startup.h"

namespace sccevtmon {
namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The start-up's end that only the activity log records.
std::string startupLine(const RunState& rs, Platform& os, const Status& trapped) {
  if (!trapped.ok()) return "sccevtmon: run ended at start-up by an error: " + trapped.description;
  // Without an installation folder start-up has already said why on standard error.
  if (trimSpaces(rs.installPath).empty() || !os.files.folderExists(rs.installPath)) return {};
  const std::string fix = "; set REGID in the registry to the registration ID the server assigned";
  if (std::string problem = regIdFileNameProblem(rs.regId); !problem.empty()) {
    return "sccevtmon: run ended at start-up: REGID " + quoted(rs.regId) + " " + problem + fix;
  }
  if (numericValue(rs.regId) == 0) {
    return "sccevtmon: run ended at start-up: REGID " + quoted(rs.regId) +
           " is not a non-zero number" + fix;
  }
  return {};
}

std::string logsPart(const RunState& rs) {
  if (rs.logTallies.empty()) return "no log read";
  std::string out = "logs";
  for (const LogTally& log : rs.logTallies) {
    long long detail = 0;
    std::size_t summary = 0;
    for (const EntryTally& e : log.entries) {
      detail += e.detailRows;
      summary += e.summaryRows;
    }
    out += (&log == &rs.logTallies.front() ? " " : ", ") + log.logName;
    out += log.failure.empty()
               ? " " + std::to_string(log.rows) + (log.rows == 1 ? " row (" : " rows (") +
                     decimal(detail) + " detail, " + std::to_string(summary) + " summary)"
               : " failed";
  }
  return out;
}

std::string reportFilesPart(const RunState& rs, Platform& os) {
  if (rs.summaryFileName.empty()) return "no report files";
  std::vector<std::string> parts;
  const std::string postLogs = rs.installPath + layout::kPostLogsFolder + "\\";
  for (auto [name, rows, what] : {std::tuple{&rs.summaryFileName, rs.hasSummaryRows, "summary"},
                                  std::tuple{&rs.detailFileName, rs.hasDetailRows, "detail"}}) {
    if (!rows) continue;
    parts.push_back(os.files.fileExists(postLogs + *name)
                        ? *name
                        : std::string(what) + " file " + *name + " not handed over");
  }
  if (rs.totalEventCount > 0 && !rs.hasDetailRows) {
    parts.push_back("detail file discarded (" + decimal(rs.totalEventCount) +
                    " rows over the threshold " + rs.eventThreshold + ")");
  }
  std::string out = parts.empty() ? "report files none (no rows)" : "report files";
  for (const std::string& part : parts) out += (&part == &parts.front() ? " " : ", ") + part;
  return out;
}

std::string postsPart(const RunState& rs, const std::string& failure) {
  std::string out;
  bool failurePosted = false;
  for (const PostOutcome& post : rs.posts) {
    const bool isFailure = post.report == "wpdcmscctmpevtlgfail";
    failurePosted = failurePosted || isFailure;
    out += out.empty() ? "" : "; ";
    out += isFailure ? "failure report" : "status report";
    out += post.posted ? " posted" : " not posted (" + post.problem + "), kept in SCCPostLogs";
  }
  if (!failure.empty() && !failurePosted && !rs.posts.empty()) {
    out += "; failure report not sent again (the last run reported the same failure)";
  }
  return out.empty() ? "no report sent" : out;
}

}  // namespace

std::string journalLine(const RunState& rs, Platform& os, const Status& trapped) {
  if (rs.monitorTime.empty()) return startupLine(rs, os, trapped);
  const std::string failure = trimSpaces(rs.failureReason);
  std::string line = "sccevtmon: run " + rs.monitorTime +
                     (!trapped.ok()     ? " ended by an error: "
                      : failure.empty() ? " ended: "
                                        : " failed: ");
  line += rs.fromTime.empty() ? "no window" : "window " + rs.fromTime + " to " + rs.toTime;
  line += "; " + logsPart(rs) + "; " + reportFilesPart(rs, os) + "; " + postsPart(rs, failure);
  for (const std::string& name : rs.rejectedFiles) {
    line += "; leftover " + name + " not a whole report, renamed " + name + ".rejected";
  }
  if (!failure.empty()) line += "; failure: " + failure;
  if (!trapped.ok()) line += "; error: " + trapped.description;
  // One line, whatever the texts it quotes hold.
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

void tellJournal(const RunState& rs, Platform& os, const Status& trapped) {
  if (!os.process.standardErrorIsJournal() && !os.process.standardErrorIsTerminal()) return;
  if (std::string line = journalLine(rs, os, trapped); !line.empty()) os.process.printError(line);
}

}  // namespace sccevtmon
