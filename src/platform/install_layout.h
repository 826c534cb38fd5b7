#pragma once

// Where the agent keeps what the monitor reads and writes: the registry key of its identity
// (under HKEY_LOCAL_MACHINE, in the 32-bit view) and the paths below its installation folder,
// written as the agent writes them (backslashes; the portable build maps them). The run, the
// configuration check, the replay and the platform's own defaults all name them from here.
namespace sccevtmon::layout {

inline constexpr char kIdentityKey[] = "SOFTWARE\\TORVEN";

inline constexpr char kTemplateFile[] = "qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";
inline constexpr char kStateFolder[] = "qSCC\\MonitorTemplate";
inline constexpr char kExecutionStateFile[] = "qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini";
inline constexpr char kServerSettingsFile[] = "Configuration\\qScriptDNS.ini";
inline constexpr char kPostLogsFolder[] = "SCCPostLogs";
inline constexpr char kApplicationLogFolder[] = "ApplicationLog";
inline constexpr char kActivityLogFolder[] = "ApplicationLog\\qSCCLog";
inline constexpr char kEventLogsFolder[] = "EventLogs";

}  // namespace sccevtmon::layout
