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

  // One line to standard error (used only when the activity log cannot be written).
  virtual void printError(const std::string& line) = 0;
};

}  // namespace sccevtmon
