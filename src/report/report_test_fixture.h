#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "platform/fake/fake_platform.h"

namespace sccevtmon {

// A run state of an installation at C:\TORVEN\ over fakes, with its activity log open in the
// fake file system.
class ReportTest : public ::testing::Test {
 protected:
  static constexpr const char* kInstall = "C:\\TORVEN\\";
  static constexpr const char* kLog = "C:\\TORVEN\\ApplicationLog\\qSCCLog\\sccevtmon_3003.txt";
  static constexpr const char* kSettings = "C:\\TORVEN\\Configuration\\qScriptDNS.ini";
  static constexpr const char* kExecutionIni =
      "C:\\TORVEN\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini";

  ReportTest() {
    fp.files.addFolder("C:\\TORVEN\\ApplicationLog\\qSCCLog");
    fp.files.addFolder("C:\\TORVEN\\SCCPostLogs");
    fp.files.addFolder("C:\\TORVEN\\qSCC\\MonitorTemplate");
    fp.registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN", "InstallationPath",
                          kInstall);
    startRun(rs);
  }

  // Fills a run state as start-up would and opens its activity log (appending).
  void startRun(RunState& run) {
    std::unique_ptr<TextStream> log;
    fp.files.openTextFileForAppending(kLog, &log);
    run.activityLog.open(std::move(log), fp.clock);
    run.installPath = kInstall;
    run.memberId = "1001";
    run.siteId = "2002";
    run.regId = "3003";
    run.agentType = "1";
    run.exeVersion = "1.0.0.0";
    run.monitorTime = "03/07/2026 14:05:09";
    run.eventThreshold = "50";
  }

  // The activity log's messages, without their time stamps, from the given line on.
  std::vector<std::string> logLines(size_t from = 0) const {
    std::vector<std::string> lines;
    std::string content = fp.files.content(kLog);
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find("\r\n", start);
      if (end == std::string::npos) end = content.size();
      std::string line = content.substr(start, end - start);
      size_t tab = line.find('\t');
      lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
      start = end + 2;
    }
    if (from > lines.size()) from = lines.size();
    return std::vector<std::string>(lines.begin() + static_cast<long>(from), lines.end());
  }

  FakePlatform fp;
  RunState rs;
};

}  // namespace sccevtmon
