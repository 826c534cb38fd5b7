#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Hands a report file over: with a true copy flag ("True"/"False" in any case, or a number) the
// source is copied to destination, replacing it; either way the source is then deleted. A
// missing source is left alone without a word. Errors end the hand-over with one log line and
// do not reach the caller.
void subMoveFiles(RunState& rs, Platform& os, const std::string& source,
                  const std::string& destination, const std::string& copyFlag);

// A flag as the word the hand-over takes ("True" or "False").
inline const char* flagText(bool flag) { return flag ? "True" : "False"; }

}  // namespace sccevtmon
