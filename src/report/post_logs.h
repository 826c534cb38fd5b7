#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Hands a report file over: with a true copy flag ("True"/"False" in any case, or a number) the
// source is copied to destination, replacing it; either way the source is then deleted. A
// missing source is left alone without a word.
//
// asidePath, when given, is where the source's bytes were written (createFileAside): a true
// flag renames them into place at source first, a false flag deletes them where they are,
// with the lines a discarded source gets. So a report file stands at its own name only while
// it is whole and meant for the server.
//
// Errors end the hand-over with one log line and do not reach the caller; the first of them
// also sets handOverFailure, which the run reports when nothing failed before.
void subMoveFiles(RunState& rs, Platform& os, const std::string& source,
                  const std::string& destination, const std::string& copyFlag,
                  const std::string& asidePath = "");

// What an earlier run of the agent left behind, settled before the run gate: a whole report
// file in the installation folder (its run ended before handing it over) is handed over now,
// with a line saying so, but only when it is a whole report of its kind for this REGID: any
// other file under a report file's name is renamed to "<name>.rejected" in the installation
// folder with an "ERR : " line naming both and is listed in rejectedFiles; an unfinished one (a run
// cut short while writing it, whose hour is then extracted again since LastRun did not move) is
// removed, as is an unfinished copy or kept report in the post-logs folder. Only files named for
// the agent's REGID are touched.
void recoverReportFiles(RunState& rs, Platform& os);

// A flag as the word the hand-over takes ("True" or "False").
inline const char* flagText(bool flag) { return flag ? "True" : "False"; }

}  // namespace sccevtmon
