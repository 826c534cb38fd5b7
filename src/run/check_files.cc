#include "run/check_files.h"

#include <algorithm>

#include "base/text.h"
#include "env/execution_state.h"
#include "platform/install_layout.h"
#include "run/startup.h"
#include "util/ascii.h"
#include "util/profile_text.h"
#include "util/text_encoding.h"
#include "util/xml_document.h"

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

std::vector<Finding> checkSettingsSections(Platform& os, const std::string& installPath) {
  struct Settings {
    std::string path;
    std::string what;
    std::vector<std::string> sections;
  };
  const Settings files[] = {
      {installPath + layout::kServerSettingsFile,
       "server settings",
       {"wpdcmodjobexestsins", "wpdcmscctmpevtlgfail"}},
      {executionIniPathOf(installPath),
       "execution state",
       {"Version", "Threshold", "LastRunDateTime", "LastFailure"}},
  };
  std::vector<Finding> findings;
  for (const Settings& f : files) {
    std::string bytes;
    if (!os.files.readFile(f.path, &bytes, kMaxSettingsFileBytes).ok()) continue;
    const std::string shown = os.files.nativePath(f.path);
    if (isUtf16Profile(bytes)) {
      findings.push_back({Severity::kOk, f.what + " " + shown +
                                             " is UTF-16 with a byte-order mark, which a run "
                                             "reads as Windows does"});
    }
    const std::vector<std::string> present = profileSectionNames(profileTextOf(bytes));
    for (const std::string& wanted : f.sections) {
      auto equal = [&](const std::string& name) { return equalsNoCase(name, wanted); };
      if (std::any_of(present.begin(), present.end(), equal)) continue;
      for (const std::string& name : present) {
        if (editDistance(toUpperAnsi(name), toUpperAnsi(wanted)) > 2) continue;
        findings.push_back({Severity::kError, f.what + " " + shown + ": a run reads no section [" +
                                                  wanted + "], but there is [" + name +
                                                  "]: did you mean [" + wanted + "]?"});
        break;
      }
    }
  }
  return findings;
}

std::vector<Finding> checkLogNamesOutsideCodePage(const std::string& templateBytes) {
  std::vector<Finding> findings;
  std::string text;
  // A template that does not decode is reported by the template's own check.
  if (!decodeXmlText(templateBytes, &text).ok()) return findings;
  const std::string open = "<evntlgsourcestr>";
  const std::string close = "</evntlgsourcestr>";
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find(close, at);
    if (end == std::string::npos) break;
    const std::string name(trimAscii(std::string_view(text).substr(at, end - at)));
    if (utf8ToAnsiExactly(name)) continue;
    findings.push_back(
        {Severity::kError, "event log \"" + name +
                               "\" of the template holds characters outside "
                               "Windows-1252, the monitor's text: a run looks for \"" +
                               utf8ToAnsi(name) +
                               "\" and never finds it; name the log as Windows-1252 can write it"});
  }
  return findings;
}

std::vector<Finding> checkWrittenFiles(Platform& os, const std::string& installPath,
                                       const std::string& regId) {
  std::vector<Finding> findings;
  auto error = [&](const std::string& text) { findings.push_back({Severity::kError, text}); };
  auto shown = [&](const std::string& path) { return os.files.nativePath(path); };
  const std::string base = os.process.executableBaseName();
  const std::string exitsAtStart = "a run ends at start-up and the hours pass unreported";
  std::vector<WrittenPath> paths = {
      {installPath + base + ".lock", "lock file", false, exitsAtStart},
      {installPath + layout::kApplicationLogFolder, "activity-log folder", true, exitsAtStart},
      {installPath + layout::kActivityLogFolder, "activity-log folder", true, exitsAtStart},
      {installPath + layout::kPostLogsFolder, "post-logs folder", true,
       "a run ends at start-up when it cannot create it, and cannot hand over its report files "
       "when it cannot write in it"},
      {executionIniPathOf(installPath), "execution-state file", false,
       "every run ends with \"ERR : Failed to save the exe's last execution time\" and sends the "
       "same hours again"},
  };
  // A REGID that cannot name a file is reported elsewhere; its log is never opened.
  if (regIdFileNameProblem(regId).empty()) {
    paths.insert(paths.begin() + 3,
                 {installPath + layout::kActivityLogFolder + "\\" + base + "_" + regId + ".txt",
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
    } else if (!p.folder && !os.files.isWritable(p.path)) {
      // (A folder's writability is the configuration check's own, with what it means.)
      error(p.what + " " + shown(p.path) + " cannot be written by this user: " + p.consequence +
            "; give the account the runs use write access to it");
    }
  }
  return findings;
}

}  // namespace sccevtmon
