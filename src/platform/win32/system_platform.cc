#include "platform/platform.h"
#include "platform/win32/agent_checksum.h"
#include "platform/win32/clock.h"
#include "platform/win32/code_page.h"
#include "platform/win32/com_web_post.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/profile_files.h"
#include "platform/win32/registry.h"
#include "platform/win32/wevt_engine.h"

namespace sccevtmon {
Platform& systemPlatform() {
  // Before anything is read: every text the program converts uses the system's code page.
  static const bool codePage = (useSystemCodePage(), true);
  (void)codePage;
  static WinRegistry registry;
  static WinProfileFiles profile;
  static WinFileSystem files;
  static WinClock clock;
  static WinProcess process;
  // The computer's own event logs; a folder of exports only when the operator names one
  // (--replay --logs). The program reads no environment variable.
  static std::unique_ptr<WevtApi> wevt = makeSystemWevtApi();
  static WevtLogQueryEngine logQuery(*wevt, files, [] { return std::string(); });
  // The agent's components: its COM class qWbPost.WebPost and its library QGnMD5.
  static ComWebPost webPost;
  static AgentChecksumLibrary checksum;
  static Platform platform{registry, profile, files, clock, process, logQuery, webPost, checksum};
  return platform;
}

}  // namespace sccevtmon
