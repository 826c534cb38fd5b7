#pragma once

#include <string>

#include "util/status.h"

namespace sccevtmon {

// Services of the running process.
class Process {
 public:
  virtual ~Process() = default;

  // Keeps the process out of the task list.
  virtual void hideFromTaskList() = 0;

  // The executable's name without folder and extension ("sccevtmon").
  virtual std::string executableBaseName() = 0;

  // The dotted four-part file version of the own executable.
  virtual Status ownFileVersion(std::string* version) = 0;

  // Starts a program with a hidden window and does not wait for it.
  virtual Status startProcess(const std::string& commandLine) = 0;

  // The system's message text for a Windows system error code (the system message table);
  // empty when there is none.
  virtual std::string systemMessage(long code) = 0;

  // One line to standard error (used only when the activity log cannot be written, and for
  // the journal's summary line).
  virtual void printError(const std::string& line) = 0;

  // Connects standard output and error to the console of the program that started this one,
  // so that the operator's options can print (on Windows the program has no window and no
  // console of its own; elsewhere there is nothing to do).
  virtual void attachConsole() = 0;

  // Whether standard error goes to the system journal (as systemd connects a service's).
  virtual bool standardErrorIsJournal() = 0;
  // Whether the process runs as the superuser, who may write where the service's account
  // cannot (false on Windows, where the agent's account is an administrator too).
  virtual bool runsAsSuperuser() = 0;
  // Whether standard error is a terminal: a run started by hand, which shows its outcome.
  virtual bool standardErrorIsTerminal() = 0;
  // The exit status of a run that could not start its work. The portable build's service
  // manager reads it; on Windows the agent starts the program and reads no code, so it is 0.
  virtual int startFailureExitStatus() = 0;

  // What --help says of this build, each part ending in a line break: what a run reads and
  // writes, and where the build finds the agent's identity and the event logs.
  virtual std::string helpIntroduction() = 0;
  virtual std::string helpConfiguration() = 0;
};

}  // namespace sccevtmon
