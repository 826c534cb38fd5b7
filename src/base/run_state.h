#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/activity_log.h"
#include "platform/file_system.h"
#include "platform/log_query.h"

namespace sccevtmon {

// One monitoring entry of the template: the texts of one dcm element, as read.
struct MonitorEntry {
  std::string evntlgsourcestr;
  std::string evnttype;
  std::string evntsource;
  std::string evntid;
  std::string evntdesc;
  std::string evntsourandid;
  std::string outputopt;
  std::string evntdescstrt;
  std::string evntdescandor;
  std::string scriptid;
  std::string scriptver;
  std::size_t offset = 0;  // of its dcm element in the template, for the operator's check
};

// Template content a run passes over, or reads otherwise than it seems to say. The run logs
// each ("ERR : Template entry <scriptid>: <what>; <runDoes>"); the configuration check shows
// the same texts with the template line and the advice. Each rule writes its texts where the
// rule is applied (the parser, the filter stages, the row output), so the two cannot part.
struct TemplateNote {
  static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);
  std::size_t entry = 0;           // 1-based entry; 0: the template as a whole
  std::size_t offset = kNoOffset;  // of the element concerned in the template text
  bool warning = false;            // a run works, though maybe not as meant
  std::string what;                // what is wrong
  std::string runDoes;             // what a run does with it
  std::string advice;              // what to do about it; the check shows it
};

// What one monitoring entry's pass over its event log came to: the rows left after each filter
// stage and the rows written. Kept for the operator's summaries, never for the reports.
struct EntryTally {
  std::size_t entry = 0;  // index in monitorEntries
  std::size_t afterType = 0;
  std::size_t afterSource = 0;
  std::size_t afterId = 0;
  std::size_t afterDescription = 0;
  std::size_t afterPairs = 0;
  std::int32_t detailRows = 0;
  std::size_t summaryRows = 0;
};

// What one event log's extraction pass came to.
struct LogTally {
  std::string logName;
  std::size_t rows = 0;                // rows of the window the query returned
  std::string failure;                 // why the pass ended early; empty when it ran to its end
  std::vector<std::string> skipNotes;  // records the engine skipped or repaired, by reason
  std::vector<EntryTally> entries;
};

// One post of a report: which report (the root element of its XML), whether the server took
// it, and why not.
struct PostOutcome {
  std::string report;
  bool posted = false;
  std::string problem;
};

// Everything the routines of one run share. It starts empty (texts empty, flags false, counts
// 0) and lives as long as the run.
struct RunState {
  // Agent identity from the registry.
  std::string installPath;  // ends in '\' once start-up has passed the folder check
  std::string memberId;
  std::string siteId;
  std::string regId;
  std::string agentType;
  std::string expectedChecksum;  // registry value EVENT

  // Start-up.
  ActivityLog activityLog;
  std::string exeVersion;

  // Run sequence.
  std::string monitorTime;
  std::string failureReason;  // empty: no failure so far

  // Template integrity and template.
  std::string computedChecksum;
  bool hasEntries = false;
  std::vector<MonitorEntry> monitorEntries;
  std::vector<std::string> eventLogNames;
  std::vector<TemplateNote> templateNotes;  // the parser's, in document order
  std::string templateId;
  std::string templateVersion;
  // The template's bytes as the parser read them (none when it could not read them): the
  // integrity check hashes these, so the template checked is the template that runs.
  std::optional<std::string> templateBytes;
  // Why the template could not be loaded or parsed; kept apart from failureReason because the
  // integrity check that follows the parse starts from an empty failureReason.
  std::string templateFailure;

  // Execution state and run gate.
  std::string executionIniPath;
  std::string eventThreshold;
  std::string fromTime;
  std::string toTime;
  std::int16_t windowHours = 0;

  // Report files.
  std::string summaryFileName;
  std::string detailFileName;
  std::unique_ptr<TextStream> summaryStream;
  std::unique_ptr<TextStream> detailStream;
  // Where the report files are written until they are whole (createFileAside).
  std::string summaryAsidePath;
  std::string detailAsidePath;
  // Why a report file could not be handed over; the run's failure when nothing failed before.
  std::string handOverFailure;
  std::string summaryXml;
  std::string detailXml;

  // Log query engine objects.
  std::unique_ptr<LogQuery> logQuery;
  std::unique_ptr<LogInputFormat> logInputFormat;

  // Row output.
  std::int32_t totalEventCount = 0;
  bool hasSummaryRows = false;
  bool hasDetailRows = false;
  std::vector<LogTally> logTallies;  // one per pass of record loading, in order

  // Status report.
  std::int16_t executionStatus = 0;
  std::vector<PostOutcome> posts;  // every post of the run, in order

  // Leftover files under a report file's name that were not whole reports, by name.
  std::vector<std::string> rejectedFiles;

  // The lock on the installation, held for the whole run.
  std::unique_ptr<FileHold> runLock;

  // Set once the run has ended (orderly or silently); callers return at once.
  bool ended = false;
  // Set when the run could not start its work (no installation, REGID refused, lock or
  // activity log unusable) and told nobody but standard error; another run holding the lock
  // is not such a failure.
  bool startFailed = false;
};

}  // namespace sccevtmon
