#pragma once

#include <optional>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"
#include "util/civil_time.h"

namespace sccevtmon {

// Settles the event threshold (writing the default 50 when none is set), applies the run gate
// (a run in the same clock hour as LastRun, or up to 24 hours before it, is refused) and sets
// executionIniPath, eventThreshold, fromTime, toTime and windowHours. False: the run must stop
// and failureReason says why. A LastRun that is not a date and time, or lies more than 24
// hours ahead, is logged and set as failureReason, and the run goes on as on a first run
// (the last hour). Traps its own errors.
bool fncChkLastRunTime(RunState& rs, Platform& os);

// Reads a key of the execution-state file as a run does: through a 100-character buffer.
std::string readState(Platform& os, const std::string& file, const std::string& section,
                      const std::string& key);

// The threshold a run applies when the execution state holds none (or 0, or no number); the
// run writes it there.
inline constexpr char kDefaultThreshold[] = "50";

// The stored threshold text as a run applies it: its number, or the default. *defaulted says
// which (the run writes the default back).
std::string settledThreshold(const std::string& stored, bool* defaulted);

// What the run gate makes of the stored LastRun text at the clock's time. The window is
// counted in clock hours (14:59 to 15:00 is one), so a run every hour reads every hour once.
struct RunGate {
  enum class Kind {
    kFirstRun,    // no LastRun: the last hour is read
    kUnreadable,  // not a date and time: reported, and the last hour is read
    kFarAhead,    // more than 24 clock hours ahead: reported, and the last hour is read
    kRefused,     // in this clock hour, or up to 24 ahead: a second run of the hour, refused
    kSince,       // 1 to 24 clock hours ago: the time since then is read
    kTooOld,      // more than 24 clock hours ago: only the last hour is read
  };
  Kind kind = Kind::kFirstRun;
  std::optional<LocalTime> lastRun;  // when it was read
  LocalTime from;                    // the window's start
  long long hours = 1;               // the window in clock hours; refused: 0 or less
};
RunGate decideRunGate(const std::string& lastRunText, LocalTime now);

// The execution-state file of an installation path.
std::string executionIniPathOf(const std::string& installPath);

}  // namespace sccevtmon
