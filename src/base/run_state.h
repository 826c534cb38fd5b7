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

  // Status report.
  std::int16_t executionStatus = 0;

  // The lock on the installation, held for the whole run.
  std::unique_ptr<FileHold> runLock;

  // Set once the run has ended (orderly or silently); callers return at once.
  bool ended = false;
};

}  // namespace sccevtmon
