#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// The first step of a run: reads the agent identity, settles the installation folder, opens
// the activity log and writes the banner, makes sure the post-logs folder exists, rejects an
// invalid REGID and reads the own file version. Ends the run itself (rs.ended) when the
// installation folder is missing, the REGID cannot be part of a file name (a character
// Windows refuses in one, a control character, exactly "." or "..") or another run holds the
// installation's lock (each silently, with one line on standard error), or when REGID is not a
// non-zero number. The lock (rs.runLock) is taken before the activity log is opened and held for
// the whole run. Errors creating the log folders, the log or the post-logs folder go to the caller.
Status subStartUp(RunState& rs, Platform& os);

// The orderly end of a run: "MSG : Application Ended", then the log is closed, the lock on the
// installation released and the run marked ended. Callers return at once.
void subEndApplication(RunState& rs) noexcept;

// Why a REGID cannot be part of the run's file names, by Windows' rule on every build: one of
// \ / : * ? " < > |, a control character, or exactly "." or "..". As the end of a sentence;
// empty when it can.
std::string regIdFileNameProblem(const std::string& regId);

// The size at which an existing activity log is started anew.
inline constexpr std::uint64_t kActivityLogLimit = 5 * 1024 * 1024;

}  // namespace sccevtmon
