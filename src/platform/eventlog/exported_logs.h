#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/eventlog/event_record.h"
#include "platform/eventlog/log_query_parser.h"
#include "platform/log_query.h"
#include "platform/registry.h"

namespace sccevtmon {

// What the engines share: the engine over a folder of exported logs (exported_log_engine.h),
// and the Windows build's live engine, whose events become the same rows.

// The event-log input format of these engines; it has no settings.
class EventLogInputFormat : public LogInputFormat {};

// The rows a query kept, walked in order and read through the query's column aliases
// (without regard to case), or taken over whole (takeRows). inputUnitsProcessed() is
// contents.processed.
std::unique_ptr<LogRecordSet> makeEventRecordSet(std::vector<SelectedColumn> columns,
                                                 EventLogContents contents);

// The folder of the exported event logs in the agent's installation: the registry's
// InstallationPath (HKEY_LOCAL_MACHINE\SOFTWARE\TORVEN, 32-bit view) + "EventLogs". Empty when
// the registry has none. (The portable build's SCCEVTMON_EVENTLOG_DIR, when set, names another
// folder; the Windows program reads exports only from the folder --replay --logs names.)
std::string installedEventLogFolder(Registry& registry);

}  // namespace sccevtmon
