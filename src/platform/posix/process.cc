#include "platform/posix/process.h"

#include <unistd.h>

#include <cstdio>

namespace sccevtmon {

void PosixProcess::hideFromTaskList() {}

std::string PosixProcess::executableBaseName() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "sccevtmon";
  std::string name = path.substr(path.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

Status PosixProcess::ownFileVersion(std::string* version) {
  *version = SCCEVTMON_VERSION;
  return Status::success();
}

Status PosixProcess::startProcess(const std::string&) {
  // Only Windows programs are ever started (regsvr32); none exists here.
  return runtimeError(kErrFileNotFound);
}

// The texts of the system message table for the codes the monitor can meet.
std::string PosixProcess::systemMessage(long code) {
  switch (code) {
    case 0:
      return "The operation completed successfully.\r\n";
    case kErrorFileNotFound:
      return "The system cannot find the file specified.\r\n";
    case kErrorPathNotFound:
      return "The system cannot find the path specified.\r\n";
    case kErrorAccessDenied:
      return "Access is denied.\r\n";
    case kErrorInvalidHandle:
      return "The handle is invalid.\r\n";
    case kErrorInvalidParameter:
      return "The parameter is incorrect.\r\n";
    case kErrorMoreData:
      return "More data is available.\r\n";
    default:
      return {};
  }
}

void PosixProcess::printError(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace sccevtmon
