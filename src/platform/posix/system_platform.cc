#include <cstdlib>

#include "platform/eventlog/exported_log_engine.h"
#include "platform/platform.h"
#include "platform/posix/clock.h"
#include "platform/posix/event_log_folder.h"
#include "platform/posix/file_system.h"
#include "platform/posix/openssl_checksum.h"
#include "platform/posix/process.h"
#include "platform/posix/profile_files.h"
#include "platform/posix/registry_file.h"
#include "platform/posix/web_post_curl.h"

namespace sccevtmon {
namespace {

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

Platform& systemPlatform() {
  static RegistryFile registry(environmentOr("SCCEVTMON_REGISTRY", "/etc/sccevtmon/registry.reg"));
  static PosixProfileFiles profile;
  static PosixFileSystem files;
  static PosixClock clock;
  static PosixProcess process;
  // The event-log folder can depend on the installation path, which the registry gives once
  // the run reads it; the engine asks for the folder each time a query runs.
  static ExportedLogQueryEngine logQuery(files, [] { return systemEventLogFolder(registry); });
  static CurlWebPost webPost;
  static OpenSslChecksum checksum;
  static Platform platform{registry, profile, files, clock, process, logQuery, webPost, checksum};
  return platform;
}

}  // namespace sccevtmon
