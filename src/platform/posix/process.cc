#include "platform/posix/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void PosixProcess::attachConsole() {}

bool PosixProcess::standardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  const char* end = stream + std::strlen(stream);
  unsigned long long device = 0;
  unsigned long long inode = 0;
  auto [colon, e1] = std::from_chars(stream, end, device);
  if (e1 != std::errc() || colon == end || *colon != ':') return false;
  auto [last, e2] = std::from_chars(colon + 1, end, inode);
  if (e2 != std::errc() || last != end) return false;
  struct stat st {};
  return ::fstat(STDERR_FILENO, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

bool PosixProcess::runsAsSuperuser() { return ::geteuid() == 0; }

bool PosixProcess::standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string PosixProcess::helpIntroduction() {
  return "Runs the event-log monitor once for the agent named in the registry file, writes\n"
         "its report files to the agent's post-logs folder and its activity log under\n"
         "ApplicationLog/qSCCLog.\n";
}

std::string PosixProcess::helpConfiguration() {
  return "Environment:\n"
         "  SCCEVTMON_REGISTRY      registry file (default /etc/sccevtmon/registry.reg)\n"
         "  SCCEVTMON_EVENTLOG_DIR  event-log folder (default: installation path + EventLogs)\n";
}

}  // namespace sccevtmon
