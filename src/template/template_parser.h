#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Reads the template at path into templateId, templateVersion, monitorEntries, eventLogNames
// and hasEntries, logging each template and entry it meets. A document that cannot be loaded
// or parsed sets failureReason and templateFailure (the same text); what was read before a
// parse failure stays. Traps its own errors. The document is read through os.files.
void fncParseWebpostData(RunState& rs, Platform& os, const std::string& path);

}  // namespace sccevtmon
