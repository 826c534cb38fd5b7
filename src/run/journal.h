#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"
#include "util/status.h"

namespace sccevtmon {

// The line a run leaves in the system journal, so that `journalctl -u sccevtmon` tells what
// each run did without opening the activity log:
//
//   sccevtmon: run 03/07/2026 14:05:09 failed: window 03/07/2026 13:05:09 to 03/07/2026
//   14:05:09; logs System 3 rows (2 detail, 1 summary), Missing failed; report files
//   wpevntsummdsk_N_4711_03072026140509.xml, wpevntdumpdsk_Y_4711_03072026140509.xml; status
//   report posted; failure report not posted (No URL to post to); failure: 440 Err ...
//
// (one line). A run that start-up ended gets a line only where the activity log alone would
// say why (an unusable REGID); trapped is the error that ended the run, if any. Empty when
// there is nothing to say. Looks in the post-logs folder for the report files; changes nothing.
std::string journalLine(const RunState& rs, Platform& os, const Status& trapped);

// Prints journalLine to standard error when standard error is the system journal or a
// terminal (a run started by hand shows its outcome); nothing otherwise, so a run from the
// agent prints what it always has.
void tellJournal(const RunState& rs, Platform& os, const Status& trapped);

}  // namespace sccevtmon
