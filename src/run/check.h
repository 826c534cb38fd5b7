#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace sccevtmon {

// How a finding of the configuration check stands: fine; a warning (a run works, though maybe
// not as the operator expects); or an error (a run would fail, report a failure, or silently
// ignore or misread part of its template).
enum class Severity { kOk, kWarning, kError };

struct Finding {
  Severity severity = Severity::kOk;
  std::string text;
};

// The operator's check of this machine: reads everything a run reads (the registry, the
// folders a run writes, the template and its checksum, the event logs the template names, the
// execution state, the server settings) and judges it as a run would, changing nothing: no
// post, no settings write, no report file, no activity-log line. Every error says what to do.
std::vector<Finding> checkInstallation(Platform& os);

// "ok: ...", "warning: ..." or "error: ...".
std::string findingLine(const Finding& finding);

// The closing line: how many errors and warnings the check found.
std::string checkSummary(const std::vector<Finding>& findings);

// 1 when the check found an error, else 0.
int checkExitStatus(const std::vector<Finding>& findings);

}  // namespace sccevtmon
