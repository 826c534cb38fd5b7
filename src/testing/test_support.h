#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "testing/fake_platform.h"

namespace sccevtmon {

// Compares a whole output file with its golden copy, byte for byte. With
// SCCEVTMON_UPDATE_GOLDEN=1 in the environment the golden copy is rewritten instead.
inline void expectGolden(const std::string& actual, const std::string& relativePath) {
  std::string path = std::string(SCCEVTMON_SOURCE_DIR) + "/" + relativePath;
  const char* update = std::getenv("SCCEVTMON_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "missing golden file " << path;
  std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(actual, expected) << "differs from " << relativePath;
}

// A fresh run state on the fakes, with an agent installed at /agent. Tests that look at log
// lines open the activity log on the fake file system first (openLog, or startRun for a run
// state filled as start-up fills it).
class RunTest : public ::testing::Test {
 protected:
  static constexpr const char* kInstall = "/agent\\";
  static constexpr const char* kLog = "/agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt";
  static constexpr const char* kSettings = "/agent\\Configuration\\qScriptDNS.ini";
  static constexpr const char* kExecutionIni =
      "/agent\\qSCC\\MonitorTemplate\\SCC_EventLog_Execution.ini";

  FakePlatform fake;
  Platform& os = fake.platform;
  RunState rs;

  // The identity of a complete agent in the registry (32-bit view) and its installation folder.
  void installAgent(const std::string& installPath = "/agent") {
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
    fake.registry.setString(key, "InstallationPath", installPath);
    fake.registry.setString(key, "MEMBERID", "11");
    fake.registry.setString(key, "SITEID", "22");
    fake.registry.setString(key, "REGID", "4711");
    fake.registry.setString(key, "TYPE", "3");
    fake.registry.setString(key, "EVENT", "D41D8CD98F00B204E9800998ECF8427E");
    fake.files.addFolder(installPath);
  }

  // Opens the activity log as start-up would, without running start-up.
  void openLog() {
    rs.installPath = kInstall;
    rs.regId = "4711";
    fake.files.addFolder("/agent/ApplicationLog/qSCCLog");
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fake.files.createTextFile(kLog, true, &stream).ok());
    rs.activityLog.open(std::move(stream), fake.clock);
  }

  // An installation with the folders a run writes, the agent's identity, and run filled as
  // start-up fills it, its activity log open for appending.
  void startRun(RunState& run) {
    installAgent();
    fake.files.addFolder("/agent/ApplicationLog/qSCCLog");
    fake.files.addFolder("/agent/SCCPostLogs");
    fake.files.addFolder("/agent/qSCC/MonitorTemplate");
    std::unique_ptr<TextStream> log;
    fake.files.openTextFileForAppending(kLog, &log);
    run.activityLog.open(std::move(log), fake.clock);
    run.installPath = kInstall;
    run.memberId = "11";
    run.siteId = "22";
    run.regId = "4711";
    run.agentType = "3";
    run.exeVersion = "1.0.0.0";
    run.monitorTime = "03/07/2026 14:05:09";
    run.eventThreshold = "50";
  }

  // The messages of the activity log, each line's time stamp and TAB checked and removed.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    std::string content = fake.files.content(kLog);
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find("\r\n", start);
      if (end == std::string::npos) end = content.size();
      std::string line = content.substr(start, end - start);
      EXPECT_GE(line.size(), 20u) << line;
      EXPECT_EQ(line.substr(19, 1), "\t") << line;
      out.push_back(line.size() >= 20 ? line.substr(20) : line);
      start = end + 2;
    }
    return out;
  }

  // The messages from the given line on.
  std::vector<std::string> logLines(size_t from = 0) const {
    std::vector<std::string> lines = messages();
    if (from > lines.size()) from = lines.size();
    return std::vector<std::string>(lines.begin() + static_cast<long>(from), lines.end());
  }

  // The messages without the lines of the status and failure reports and their transport
  // (checked in report/), which end every run that reaches its reports.
  std::vector<std::string> messagesWithoutReports() const {
    static const char* const kReportLines[] = {
        "MSG : Webposting ",          "MSG : Webpost Received data :: ", "ERR : WebPost Failed : ",
        "ERR : Function WebPost :: ", "ERR : Function RegisterDLL :: ",  "Registered Dll : ",
        "MSG : Creating File ",       "MSG : Same Failure occured"};
    std::vector<std::string> out;
    for (const std::string& line : messages()) {
      bool report = false;
      for (const char* prefix : kReportLines) report = report || line.starts_with(prefix);
      if (!report) out.push_back(line);
    }
    return out;
  }
};

}  // namespace sccevtmon
