#pragma once

#include <string>

#include "platform/registry.h"

namespace sccevtmon {

// The event-log folder of this machine: SCCEVTMON_EVENTLOG_DIR when set, else the
// installation's (see installedEventLogFolder). Empty when neither is known.
std::string systemEventLogFolder(Registry& registry);

}  // namespace sccevtmon
