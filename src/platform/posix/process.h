#pragma once

#include "platform/process.h"

namespace sccevtmon {

// Process services on Linux: there is no task list to hide from, the file version is the
// project's version, no COM server can be registered, and the standard streams are always
// those of the starting program.
class PosixProcess : public Process {
 public:
  void hideFromTaskList() override;
  std::string executableBaseName() override;
  Status ownFileVersion(std::string* version) override;
  Status startProcess(const std::string& commandLine) override;
  std::string systemMessage(long code) override;
  void printError(const std::string& line) override;
  void attachConsole() override;
  // True when JOURNAL_STREAM ("DEV:INODE", set by systemd) names the file standard error is.
  bool standardErrorIsJournal() override;
  bool standardErrorIsTerminal() override;
  bool runsAsSuperuser() override;
  int startFailureExitStatus() override { return 1; }
  std::string helpIntroduction() override;
  std::string helpConfiguration() override;
};

}  // namespace sccevtmon
