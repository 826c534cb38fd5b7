#include <cstdio>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "platform/platform.h"
#include "run/check.h"
#include "run/replay.h"
#include "run/run_sequence.h"

namespace {

const char kUsage[] =
    "usage: sccevtmon [--version | --help | --check |\n"
    "                  --replay --from T --to T --out DIR [--template FILE] [--logs DIR]\n"
    "                           [--threshold N]]\n";

void printHelp(sccevtmon::Process& process) {
  std::printf(
      "usage: sccevtmon\n"
      "%s"
      "\n"
      "Operator's options (a normal run takes none):\n"
      "  --check    checks this machine as a run would read it and changes nothing: one\n"
      "             line per finding (ok, warning, error); exits 1 when there is an error\n"
      "  --replay --from T --to T --out DIR [--template FILE] [--logs DIR] [--threshold N]\n"
      "             runs the template's entries over the window T to T (local time,\n"
      "             \"YYYY-MM-DD HH:MM:SS\") and writes the report files a run would write\n"
      "             into DIR, stamped with the window's end; prints what each entry found.\n"
      "             No run gate, no checksum refusal, nothing of the installation\n"
      "             written. --template and --logs read another template and event-log\n"
      "             folder (both needed without a registry file); --threshold sets the\n"
      "             event threshold. DIR may not lie in the installation folder\n"
      "  --version  prints the version\n"
      "  --help     prints this help\n"
      "\n"
      "%s",
      process.helpIntroduction().c_str(), process.helpConfiguration().c_str());
}

int usage(const std::string& problem = "") {
  if (!problem.empty()) std::fprintf(stderr, "sccevtmon: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    sccevtmon::RunState rs;
    sccevtmon::Platform& os = sccevtmon::systemPlatform();
    sccevtmon::subMain(rs, os);
    return rs.startFailed ? os.process.startFailureExitStatus() : 0;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  sccevtmon::Platform& os = sccevtmon::systemPlatform();
  // The operator's options print to the console that started the program.
  os.process.attachConsole();
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("sccevtmon %s\n", SCCEVTMON_VERSION);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--help") {
    printHelp(os.process);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--check") {
    std::vector<sccevtmon::Finding> findings = sccevtmon::checkInstallation(os);
    for (const sccevtmon::Finding& finding : findings) {
      std::printf("%s\n", sccevtmon::findingLine(finding).c_str());
    }
    std::printf("%s\n", sccevtmon::checkSummary(findings).c_str());
    return sccevtmon::checkExitStatus(findings);
  }
  if (args[0] == "--replay") {
    sccevtmon::ReplayOptions options;
    std::string problem = sccevtmon::parseReplayOptions({args.begin() + 1, args.end()}, &options);
    if (!problem.empty()) return usage(problem);
    std::vector<std::string> table;
    int status = sccevtmon::runReplay(os, options, &table);
    for (const std::string& line : table) std::printf("%s\n", line.c_str());
    return status;
  }
  return usage();
}
