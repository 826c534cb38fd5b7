#include "run/check_files.h"

#include "env/execution_state.h"
#include "run/startup.h"

namespace sccevtmon {
namespace {

struct WrittenPath {
  std::string path;
  std::string what;
  bool folder;              // a folder must stand there, else a plain file
  std::string consequence;  // what a run does when it cannot write there
};

std::string kindText(PathKind kind) {
  switch (kind) {
    case PathKind::kFile:
      return "a file";
    case PathKind::kFolder:
      return "a folder";
    default:
      return "a link or special file";
  }
}

}  // namespace

std::vector<Finding> checkWrittenFiles(Platform& os, const std::string& installPath,
                                       const std::string& regId) {
  std::vector<Finding> findings;
  auto error = [&](const std::string& text) { findings.push_back({Severity::kError, text}); };
  auto shown = [&](const std::string& path) { return os.files.nativePath(path); };
  const std::string base = os.process.executableBaseName();
  const std::string exitsAtStart = "a run ends at start-up and the hours pass unreported";
  std::vector<WrittenPath> paths = {
      {installPath + base + ".lock", "lock file", false, exitsAtStart},
      {installPath + "ApplicationLog", "activity-log folder", true, exitsAtStart},
      {installPath + "ApplicationLog\\qSCCLog", "activity-log folder", true, exitsAtStart},
      {installPath + "SCCPostLogs", "post-logs folder", true, exitsAtStart},
      {executionIniPathOf(installPath), "execution-state file", false,
       "every run ends with \"ERR : Failed to save the exe's last execution time\" and sends the "
       "same hours again"},
  };
  // A REGID that cannot name a file is reported elsewhere; its log is never opened.
  if (regIdFileNameProblem(regId).empty()) {
    paths.insert(paths.begin() + 3,
                 {installPath + "ApplicationLog\\qSCCLog\\" + base + "_" + regId + ".txt",
                  "activity log", false, exitsAtStart});
  }

  // Root may write where the service's account cannot: its answers are not the runs'.
  const std::string owner = os.files.ownerName(installPath);
  const bool rootForAnother = os.process.runsAsSuperuser() && !owner.empty() && owner != "root";
  if (rootForAnother) {
    findings.push_back(
        {Severity::kWarning,
         "this check runs as root, but the installation folder " + shown(installPath) +
             " belongs to " + owner + ": its answers are root's, who may write where " + owner +
             "'s runs cannot; run it as the owner: sudo -u " + owner + " " + base + " --check"});
  }

  for (const WrittenPath& p : paths) {
    const PathKind kind = os.files.pathKind(p.path);
    if (kind == PathKind::kMissing) continue;
    const PathKind wanted = p.folder ? PathKind::kFolder : PathKind::kFile;
    if (kind != wanted) {
      error(p.what + " " + shown(p.path) + " is " + kindText(kind) + " where a run needs " +
            (p.folder ? "a folder" : "a plain file") + ": " + p.consequence + "; remove it or " +
            "move it away");
      continue;
    }
    if (rootForAnother) {
      // Left behind by a run as root: root can write it, the owner's runs cannot.
      const std::string fileOwner = os.files.ownerName(p.path);
      if (fileOwner != owner) {
        error(p.what + " " + shown(p.path) + " belongs to " + fileOwner + ", not to " + owner +
              " (left by a run as " + fileOwner + "?): " + p.consequence + "; chown " + owner +
              ": " + shown(p.path));
      }
    } else if (!os.files.isWritable(p.path)) {
      error(p.what + " " + shown(p.path) + " cannot be written by this user: " + p.consequence +
            "; give the account the runs use write access to it");
    }
  }
  return findings;
}

}  // namespace sccevtmon
