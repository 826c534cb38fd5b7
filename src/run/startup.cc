#include "run/startup.h"

#include <algorithm>

#include "base/text.h"
#include "env/identity.h"
#include "platform/install_layout.h"

namespace sccevtmon {
namespace {

// Creates a folder unless it exists; a failure is said on standard error, since the log is
// not open yet.
Status ensureFolder(Platform& os, const std::string& path) {
  if (os.files.folderExists(path)) return Status::success();
  Status s = os.files.createFolder(path);
  if (!s.ok())
    os.process.printError("sccevtmon: cannot create folder " + path + ": " + s.description);
  return s;
}

Status openActivityLog(RunState& rs, Platform& os) {
  std::string folder = rs.installPath + layout::kApplicationLogFolder;
  if (Status s = ensureFolder(os, folder); !s.ok()) return s;
  folder = rs.installPath + layout::kActivityLogFolder;
  if (Status s = ensureFolder(os, folder); !s.ok()) return s;
  std::string path = folder + "\\" + os.process.executableBaseName() + "_" + rs.regId + ".txt";
  std::unique_ptr<TextStream> stream;
  Status s;
  std::uint64_t size = 0;
  if (os.files.fileExists(path) && os.files.fileSize(path, &size).ok() &&
      size < kActivityLogLimit) {
    s = os.files.openTextFileForAppending(path, &stream);
  } else {
    s = os.files.createTextFile(path, true, &stream);
  }
  if (!s.ok()) {
    os.process.printError("sccevtmon: cannot open activity log " + path + ": " + s.description);
    return s;
  }
  rs.activityLog.open(std::move(stream), os.clock);
  return Status::success();
}

// The REGID as it can be shown on one line.
std::string printable(std::string text) {
  for (char& c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

std::string regIdFileNameProblem(const std::string& regId) {
  // Windows' rule on both builds, so a REGID that runs on one runs on the other. Dots are
  // harmless inside a name ("12..3"); ':' would name an alternate data stream.
  if (regId.find_first_of("/\\") != std::string::npos) return "holds a path separator";
  if (regId.find_first_of(":*?\"<>|") != std::string::npos) {
    return "holds a character Windows does not allow in a file name (: * ? \" < > |)";
  }
  if (std::any_of(regId.begin(), regId.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 32 || c == 0x7F; })) {
    return "holds a control character";
  }
  if (regId == "." || regId == "..") return "is \"" + regId + "\"";
  return {};
}

Status subStartUp(RunState& rs, Platform& os) {
  os.process.hideFromTaskList();
  fncGetRegInfo(rs, os, layout::kIdentityKey);

  std::string trimmed = trimSpaces(rs.installPath);
  if (trimmed.empty() || !os.files.folderExists(rs.installPath)) {
    // The silent end: nothing can be logged yet, so the reason goes to standard error.
    std::string why = os.registry.unavailableReason();
    if (why.empty()) {
      std::string folder = rs.installPath.substr(0, rs.installPath.find_last_not_of('\\') + 1);
      why = trimmed.empty()
                ? std::string("no InstallationPath in the registry key ") + layout::kIdentityKey
                : "installation folder " + folder + " does not exist";
    }
    os.process.printError("sccevtmon: " + why);
    rs.ended = true;
    rs.startFailed = true;
    return Status::success();
  }
  if (trimmed.back() != '\\') rs.installPath += "\\";

  // Nothing of the installation is touched before these two checks: a REGID that would lead a
  // file name out of its folder, and a second run while one is going on, end here.
  if (!regIdFileNameProblem(rs.regId).empty()) {
    os.process.printError("sccevtmon: the REGID \"" + printable(rs.regId) +
                          "\" cannot be part of a file name; the run ends");
    rs.ended = true;
    rs.startFailed = true;
    return Status::success();
  }
  // Read-only modes, which write nothing, take no lock.
  const std::string lockPath = rs.installPath + os.process.executableBaseName() + ".lock";
  if (Status s = os.files.tryLock(lockPath, &rs.runLock); !s.ok()) {
    os.process.printError("sccevtmon: cannot lock " + os.files.nativePath(lockPath) + ": " +
                          s.description + "; the run ends");
    rs.ended = true;
    rs.startFailed = s.description != kLockHeld;
    return Status::success();
  }

  if (Status s = openActivityLog(rs, os); !s.ok()) {
    rs.startFailed = true;
    return s;
  }

  const std::string stars(85, '*');
  subWriteLog(rs, stars);
  subWriteLog(rs, "MSG : Application started");
  subWriteLog(rs, stars);
  subWriteLog(rs, "MSG : TORV installation path : " + rs.installPath);
  std::string postLogs = rs.installPath + "\\" + layout::kPostLogsFolder;
  if (!os.files.folderExists(postLogs)) {
    subWriteLog(rs, "MSG : Preprocessing : Creating Folder " + postLogs);
    if (Status s = os.files.createFolder(postLogs); !s.ok()) {
      rs.startFailed = true;
      return Status{s.number, s.description + ": " + os.files.nativePath(postLogs)};
    }
  }
  subWriteLog(rs, "MSG : RegId : " + rs.regId);
  if (numericValue(rs.regId) == 0) {
    rs.startFailed = true;
    subWriteLog(rs, "MSG : Invalid RegId");
    subEndApplication(rs);
    return Status::success();
  }
  // From here on errors are ignored: an unreadable version leaves exeVersion empty.
  std::string version;
  if (os.process.ownFileVersion(&version).ok()) rs.exeVersion = version;
  subWriteLog(rs, "MSG : Exe version :: " + rs.exeVersion);
  return Status::success();
}

void subEndApplication(RunState& rs) noexcept {
  subWriteLog(rs, "MSG : Application Ended");
  rs.activityLog.close();
  rs.runLock.reset();  // last: the next run may start once this one has written its last line
  rs.ended = true;
}

}  // namespace sccevtmon
