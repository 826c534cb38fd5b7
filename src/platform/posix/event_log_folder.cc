#include "platform/posix/event_log_folder.h"

#include <cstdlib>

#include "platform/eventlog/exported_logs.h"
#include "util/text_encoding.h"

namespace sccevtmon {

std::string systemEventLogFolder(Registry& registry) {
  const char* variable = std::getenv("SCCEVTMON_EVENTLOG_DIR");
  // The environment gives the file system's name; the folder is the program's text.
  if (variable != nullptr && *variable != '\0') return utf8ToAnsi(variable);
  return installedEventLogFolder(registry);
}

}  // namespace sccevtmon
