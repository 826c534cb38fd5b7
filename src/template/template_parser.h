#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Reads the template at path into templateId, templateVersion, monitorEntries, eventLogNames
// and hasEntries, logging each template and entry it meets. A document that cannot be loaded
// or parsed sets failureReason and templateFailure. Traps its own errors.
void fncParseWebpostData(RunState& rs, Platform& os, const std::string& path);

}  // namespace sccevtmon
