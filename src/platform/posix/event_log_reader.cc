#include "platform/posix/event_log_reader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/path.h"
#include "util/ascii.h"

namespace sccevtmon {
namespace {

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

bool isWellFormedName(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
  return name.find_first_not_of('.') != std::string::npos;
}

}  // namespace

Status findEventLogFile(const std::string& folder, const std::string& logName, std::string* path) {
  std::string dir = withPosixSeparators(folder);
  Status notFound = engineError("The specified event log " + logName + " was not found in " + dir);
  if (!isWellFormedName(logName)) return notFound;
  std::string base;
  for (char c : logName) base += c == '/' ? std::string("%4") : std::string(1, c);
  // The names are compared as the program's text; a name Windows-1252 cannot hold is left out.
  std::vector<std::string> names;
  if (DIR* d = opendir(toPosixPath(dir).c_str())) {
    while (dirent* entry = readdir(d)) {
      if (auto name = fromPosixName(entry->d_name)) names.push_back(*name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const char* extension : {".evtx", ".xml"}) {
    std::string wanted = base + extension;
    // An exact match first, then one that differs only in case.
    std::vector<std::string> candidates;
    for (const std::string& n : names) {
      if (n == wanted)
        candidates.insert(candidates.begin(), n);
      else if (asciiEqualsNoCase(n, wanted))
        candidates.push_back(n);
    }
    for (const std::string& n : candidates) {
      std::string full = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + n;
      struct stat st {};
      if (stat(toPosixPath(full).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        *path = full;
        return Status::success();
      }
    }
  }
  return notFound;
}

}  // namespace sccevtmon
