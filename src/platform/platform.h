#pragma once

#include "platform/checksum_library.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/log_query.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/web_post_component.h"

namespace sccevtmon {

// Everything a run reaches outside the program. The process has one; each test builds one
// from fakes.
struct Platform {
  Registry& registry;
  ProfileFiles& profile;
  FileSystem& files;
  Clock& clock;
  Process& process;
  LogQueryEngine& logQuery;
  WebPostComponents& webPost;
  ChecksumLibrary& checksum;
};

// The platform of this build (posix stand-ins on Linux, the Windows APIs on Windows).
Platform& systemPlatform();

}  // namespace sccevtmon
