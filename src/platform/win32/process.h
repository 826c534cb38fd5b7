#pragma once

#include "platform/process.h"

namespace sccevtmon {

// Process services on Windows. The program is a GUI-subsystem program that never opens a
// window, so it shows in no task list to begin with.
class WinProcess : public Process {
 public:
  void hideFromTaskList() override;
  std::string executableBaseName() override;
  // From the executable's version resource; fails (Win32 code) when it has none.
  Status ownFileVersion(std::string* version) override;
  // CreateProcess with the window hidden; the handles are closed at once, nobody waits. A
  // program that cannot be started gives the run-time error of its Win32 code (53 and so on).
  Status startProcess(const std::string& commandLine) override;
  // FormatMessage from the system table, as the system words it.
  std::string systemMessage(long code) override;
  void printError(const std::string& line) override;
  // The console of the program that started this one, for whichever of standard output and
  // error it has not redirected.
  void attachConsole() override;
  // There is no journal on Windows.
  bool standardErrorIsJournal() override;
  bool standardErrorIsTerminal() override;
  bool runsAsSuperuser() override { return false; }
  int startFailureExitStatus() override { return 0; }
  std::string helpIntroduction() override;
  std::string helpConfiguration() override;
};

// The full path of the running executable.
std::string ownExecutablePath();

}  // namespace sccevtmon
