#include <cstdlib>

#include "platform/eventlog/exported_logs.h"
#include "platform/platform.h"
#include "platform/win32/agent_checksum.h"
#include "platform/win32/clock.h"
#include "platform/win32/com_web_post.h"
#include "platform/win32/event_log_engine.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/profile_files.h"
#include "platform/win32/registry.h"

namespace sccevtmon {
namespace {

// SCCEVTMON_EVENTLOG_DIR (already ANSI here) when set, else the installation's folder.
std::string eventLogFolder(Registry& registry) {
  const char* variable = std::getenv("SCCEVTMON_EVENTLOG_DIR");
  if (variable != nullptr && *variable != '\0') return variable;
  return installedEventLogFolder(registry);
}

}  // namespace

Platform& systemPlatform() {
  static WinRegistry registry;
  static WinProfileFiles profile;
  static WinFileSystem files;
  static WinClock clock;
  static WinProcess process;
  // The event-log folder can depend on the installation path, which the registry gives once
  // the run reads it.
  static ExportedLogQueryEngine logQuery([] { return eventLogFolder(registry); });
  // The agent's components: its COM class qWbPost.WebPost and its library QGnMD5.
  static ComWebPost webPost;
  static AgentChecksumLibrary checksum;
  static Platform platform{registry, profile, files, clock, process, logQuery, webPost, checksum};
  return platform;
}

}  // namespace sccevtmon
