#include <cstdio>
#include <cstring>

#include "base/run_state.h"
#include "platform/platform.h"
#include "run/run_sequence.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::printf("sccevtmon %s\n", SCCEVTMON_VERSION);
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::printf(
          "usage: sccevtmon\n"
          "Runs the event-log monitor once for the agent named in the registry file, writes\n"
          "its report files to the agent's post-logs folder and its activity log under\n"
          "ApplicationLog/qSCCLog. It takes no arguments.\n"
          "\n"
          "Environment:\n"
          "  SCCEVTMON_REGISTRY      registry file (default /etc/sccevtmon/registry.reg)\n"
          "  SCCEVTMON_EVENTLOG_DIR  event-log folder (default: installation path + EventLogs)\n");
      return 0;
    }
    std::fprintf(stderr, "usage: sccevtmon [--version | --help]\n");
    return 2;
  }
  sccevtmon::RunState rs;
  sccevtmon::subMain(rs, sccevtmon::systemPlatform());
  return 0;
}
