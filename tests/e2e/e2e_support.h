#pragma once

#include <map>
#include <string>
#include <vector>

#include "testing/http_receiver.h"
#include "testing/temp_folder.h"

namespace sccevtmon::e2e {

inline constexpr char kJournalIsStandardError[] = "<standard error>";

// What one run of the built program did.
struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The Windows build run under wine64. The prefix has a persistent wineserver and the test
// web-post component registered (scripts/test-windows prepares both); the test checksum
// library is found through WINEPATH.
struct WineTarget {
  std::string wine;       // wine64
  std::string exe;        // sccevtmon.exe, POSIX path
  std::string prefix;     // WINEPREFIX
  std::string dllFolder;  // the folder of QGnMD5.dll, POSIX path
};

// A POSIX path as a wine program names it: drive Z: is the root ("/tmp/a" is "Z:\tmp\a").
std::string winePath(const std::string& posixPath);

// A temporary agent installation: a registry file naming the folder, and helpers to lay out
// the files a run reads. The installation path in the registry is the folder's POSIX path, or
// its wine path when the installation runs the Windows build.
class Installation {
 public:
  Installation();
  // An installation the Windows build runs in (wine must outlive it): each run first imports
  // the registry file into the prefix's 32-bit view, replacing the identity key of the run
  // before. Runs of two such installations must not overlap.
  explicit Installation(const WineTarget& wine);

  const TempFolder& folder() const { return folder_; }
  std::string path(const std::string& relative = "") const {
    return relative.empty() ? folder_.path() : folder_.file(relative);
  }
  std::string registryFile() const { return registry_; }
  // The installation path as the program reads it from the registry.
  std::string installPath() const { return installPath_; }
  // The installation path followed by the program's separator ("/tmp/a/", "Z:\tmp\a\").
  std::string installFolderPrefix() const;

  // Writes the registry file with the identity values (InstallationPath is set unless given).
  void writeRegistry(std::map<std::string, std::string> values = {});
  // Writes qSCC/MonitorTemplate/SCCEventLogTemplate.xml and sets EVENT to its MD5.
  void writeTemplate(const std::string& xml);
  void write(const std::string& relative, const std::string& bytes) const {
    folder_.write(relative, bytes);
  }
  std::string read(const std::string& relative) const { return folder_.read(relative); }
  bool exists(const std::string& relative) const { return folder_.exists(relative); }
  // The file names in a folder of the installation, sorted.
  std::vector<std::string> list(const std::string& relative) const;

  // Runs the built program with this installation's registry file (for the Windows build,
  // wine64 sccevtmon.exe once the file is imported into the prefix). fakeTime, when not empty,
  // is the time faketime gives the program ("2026-03-07 14:05:09" freezes the clock there).
  // extraEnv adds or replaces environment variables; TZ is UTC unless given. JOURNAL_STREAM
  // set to kJournalIsStandardError names the program's standard error, as systemd names a
  // service's.
  RunResult run(const std::string& fakeTime = "", std::vector<std::string> args = {},
                std::map<std::string, std::string> extraEnv = {}) const;

  // The activity log of the agent with REGID 4711.
  std::string activityLog() const { return read("ApplicationLog/qSCCLog/sccevtmon_4711.txt"); }

 private:
  // Imports the registry file into the wine prefix.
  bool importRegistry() const;

  TempFolder folder_;
  const WineTarget* wine_ = nullptr;
  std::string installPath_;
  std::string registry_;
  std::map<std::string, std::string> identity_;
};

// An installation whose status and failure reports go to a local receiver.
class ReportingAgent {
 public:
  ReportingAgent();

  Installation inst;
  testing::HttpReceiver receiver;

  // Runs the program at fakeTime, talking to the receiver only.
  RunResult run(const std::string& fakeTime);
  // The <status> of every status report and the <faildesc> of every failure report received
  // so far, in order.
  std::vector<std::string> statuses() const;
  std::vector<std::string> failures() const;
  // Whether the activity log holds a line with exactly this message.
  bool logged(const std::string& message) const;
};

// The MD5 of a text in upper-case hex.
std::string md5Hex(const std::string& bytes);

// The path of the built program.
std::string programPath();

}  // namespace sccevtmon::e2e
