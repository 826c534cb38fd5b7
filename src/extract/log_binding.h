#pragma once

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Creates a fresh log query object and event-log input format into logQuery and
// logInputFormat, releasing the previous ones. False when either cannot be created; then
// failureReason says why and the error is logged.
bool fncCreateLogParserObject(RunState& rs, Platform& os);

}  // namespace sccevtmon
