#include "run/check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "base/run_state.h"
#include "base/text.h"
#include "base/time_stamp.h"
#include "env/execution_state.h"
#include "env/identity.h"
#include "env/settings.h"
#include "extract/filter_pipeline.h"
#include "extract/query_builder.h"
#include "extract/row_output.h"
#include "extract/template_notes.h"
#include "platform/install_layout.h"
#include "run/check_files.h"
#include "run/startup.h"
#include "template/template_checksum.h"
#include "template/template_parser.h"
#include "util/ascii.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

// The key as a 32-bit program on 64-bit Windows reads it, which is where it is written.
std::string identityKeyShown() {
  std::string key = layout::kIdentityKey;
  return "HKEY_LOCAL_MACHINE\\" + key.insert(key.find('\\') + 1, "WOW6432Node\\");
}
const char kWriteAccess[] = "give the account the runs use write access to it";

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string joined(const std::vector<std::string>& items, const std::string& separator = ", ") {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

// The 1-based line of a byte offset into text.
std::size_t lineAt(const std::string& text, std::ptrdiff_t offset) {
  if (offset < 0) return 0;
  auto end =
      text.begin() + std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(text.size()));
  return static_cast<std::size_t>(std::count(text.begin(), end, '\n')) + 1;
}

// What a URL a report is posted to lacks; empty when a post can go out.
std::string urlProblem(const std::string& url) {
  std::size_t scheme = 0;
  if (asciiStartsWithNoCase(url, "https://")) {
    scheme = 8;
  } else if (asciiStartsWithNoCase(url, "http://")) {
    scheme = 7;
  } else {
    return "is not an http:// or https:// URL";
  }
  if (std::any_of(url.begin(), url.end(),
                  [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; })) {
    return "holds a blank or a control character";
  }
  std::string host = url.substr(scheme, url.find_first_of("/?#", scheme) - scheme);
  host = host.substr(host.find('@') + 1);  // without user and password (npos + 1 keeps it all)
  if (host.empty() || host[0] == ':') return "names no server";
  return {};
}

bool emptyOrBlank(const std::string& text) { return trimSpaces(text).empty(); }

class Checker {
 public:
  explicit Checker(Platform& os) : os_(os), now_(os.clock.now()) {}

  std::vector<Finding> run() {
    if (!checkRegistry() || !checkInstallationFolder()) return findings_;
    checkIdentity();
    checkWrittenFolders();
    for (Finding& f : checkWrittenFiles(os_, rs_.installPath, rs_.regId)) findings_.push_back(f);
    for (Finding& f : checkSettingsSections(os_, rs_.installPath)) findings_.push_back(f);
    checkTemplate();
    checkExecutionState();
    checkEventLogs();
    checkServerSettings();
    return findings_;
  }

 private:
  enum class FileState { kMissing, kReadable, kUnreadable };

  void ok(const std::string& text) { findings_.push_back({Severity::kOk, text}); }
  void warning(const std::string& text) { findings_.push_back({Severity::kWarning, text}); }
  void error(const std::string& text) { findings_.push_back({Severity::kError, text}); }
  std::string shown(const std::string& path) { return os_.files.nativePath(path); }

  bool checkRegistry() {
    RegistryKey key = 0;
    Status opened =
        os_.registry.openKey(RegistryRoot::kLocalMachine, layout::kIdentityKey, kKeyRead, &key);
    const std::string why = os_.registry.unavailableReason();
    const std::string source = os_.registry.sourceName();
    const std::string in = source.empty() ? "" : " of the " + source;
    if (!why.empty()) {
      error("registry: " + why + ": write the agent identity into it (see sccevtmon(8))");
      return false;
    }
    if (!opened.ok()) {
      error(std::string("registry: no key ") + identityKeyShown() + in +
            ": put the agent identity under that key");
      return false;
    }
    for (const char* name : {"InstallationPath", "MEMBERID", "SITEID", "REGID", "TYPE", "EVENT"}) {
      std::uint32_t type = 0;
      std::uint32_t size = 0;
      if (os_.registry.queryValue(key, name, &type, nullptr, &size).ok() && type != kRegSz) {
        error(std::string("registry value ") + name +
              " is not a text value (REG_SZ): a run reads it as empty; write it as \"" + name +
              "\"=\"...\"");
      }
    }
    os_.registry.closeKey(key);
    fncGetRegInfo(rs_, os_, layout::kIdentityKey);
    ok(std::string("registry: agent identity in ") + identityKeyShown() + in);
    return true;
  }

  bool checkInstallationFolder() {
    if (emptyOrBlank(rs_.installPath)) {
      error("InstallationPath is empty: a run ends at once; set it to the agent's folder");
      return false;
    }
    if (!os_.files.folderExists(rs_.installPath)) {
      error("installation folder " + shown(rs_.installPath) +
            " does not exist: a run ends at once; create it or correct InstallationPath");
      return false;
    }
    if (os_.files.isWritable(rs_.installPath)) {
      ok("installation folder " + shown(rs_.installPath));
    } else {
      error("installation folder " + shown(rs_.installPath) +
            " is not writable: a run cannot create its report files there; " + kWriteAccess);
    }
    return true;
  }

  void checkIdentity() {
    const std::string& regId = rs_.regId;
    if (std::string problem = regIdFileNameProblem(regId); !problem.empty()) {
      error("REGID " + quoted(regId) + " " + problem +
            ": start-up refuses it; set REGID to the registration ID the server assigned");
    } else if (numericValue(regId) == 0) {
      error("REGID " + quoted(regId) + " is not a non-zero number: a run writes \"MSG : Invalid " +
            "RegId\" into " + shown(activityLogPath()) +
            " and stops without a report; set REGID to the registration ID the server assigned");
    } else if (!isDigits(regId)) {
      warning("REGID " + quoted(regId) + " reads as " + numberText(numericValue(regId)) +
              " but names the activity log and the report files as written; write the number "
              "alone");
    } else {
      ok("REGID " + regId);
    }
    for (auto [name, value] :
         {std::pair<const char*, const std::string*>{"MEMBERID", &rs_.memberId},
          {"SITEID", &rs_.siteId}}) {
      if (isDigits(*value) && numericValue(*value) != 0) {
        ok(std::string(name) + " " + *value);
      } else {
        warning(std::string(name) + " " + quoted(*value) +
                " is not a non-zero number: the reports carry it as written and the server may "
                "not place them; set the ID the server assigned");
      }
    }
    if (emptyOrBlank(rs_.agentType)) {
      warning("TYPE is empty: the report addresses carry an empty rty; set the agent's type code");
    } else {
      ok("TYPE " + rs_.agentType);
    }
  }

  std::string activityLogPath() {
    return rs_.installPath + layout::kActivityLogFolder + "\\" + os_.process.executableBaseName() +
           "_" + rs_.regId + ".txt";
  }

  // A folder a run writes in: fine when writable, or when missing but creatable in its parent.
  // What stands there in its place is checkWrittenFiles' to report.
  void writtenFolder(const std::string& folder, const std::string& parent, const std::string& what,
                     const std::string& consequence) {
    if (os_.files.folderExists(folder)) {
      if (os_.files.isWritable(folder)) {
        ok(what + " " + shown(folder));
      } else {
        error(what + " " + shown(folder) + " is not writable: " + consequence + "; " +
              kWriteAccess);
      }
    } else if (os_.files.fileExists(folder)) {
      // Something else stands there: checkWrittenFiles names it.
    } else if (os_.files.folderExists(parent) && !os_.files.isWritable(parent)) {
      error(what + " " + shown(folder) + " is missing and cannot be created in " + shown(parent) +
            ": " + consequence + "; create it and " + kWriteAccess);
    } else {
      ok(what + " " + shown(folder) + " is created by the next run");
    }
  }

  void checkWrittenFolders() {
    const std::string& install = rs_.installPath;
    writtenFolder(install + layout::kActivityLogFolder, install + layout::kApplicationLogFolder,
                  "activity-log folder", "a run cannot open its activity log and ends at once");
    // The activity log itself, the lock and the execution state: checkWrittenFiles.
    writtenFolder(install + layout::kPostLogsFolder, install, "post-logs folder",
                  "a run's report files stay in the installation folder while the server hears "
                  "of success");
    const std::string stateFolder = install + layout::kStateFolder;
    if (os_.files.folderExists(stateFolder) && !os_.files.isWritable(stateFolder)) {
      error("folder " + shown(stateFolder) +
            " is not writable: a run cannot record LastRun or the last failure, so every run "
            "reads only the last hour and posts the same failure again; " +
            kWriteAccess);
    }
  }

  // A settings file or template as a run finds it: missing, a regular file of at most 16 MiB
  // (readable), or something a run does not read (an error is reported).
  FileState settingsFile(const std::string& path, const std::string& what,
                         const std::string& consequence) {
    if (os_.files.folderExists(path)) {
      error(what + " " + shown(path) + " is a folder: " + consequence);
      return FileState::kUnreadable;
    }
    if (!os_.files.fileExists(path)) return FileState::kMissing;
    std::uint64_t size = 0;
    if (os_.files.fileSize(path, &size).ok() && size > kMaxSettingsFileBytes) {
      error(what + " " + shown(path) +
            " is larger than 16 MiB, which a run does not read: " + consequence);
      return FileState::kUnreadable;
    }
    return FileState::kReadable;
  }

  void checkTemplate() {
    const std::string path = rs_.installPath + layout::kTemplateFile;
    const std::string redeliver = "deliver the template the server assigned";
    FileState state = settingsFile(path, "template", "a run cannot use it; " + redeliver);
    if (state == FileState::kUnreadable) return;
    if (state == FileState::kMissing) {
      error("template " + shown(path) + " is missing: a run reports \"Event Template is " +
            "missing.\"; " + redeliver);
      return;
    }
    std::string bytes;
    if (Status s = os_.files.readFile(path, &bytes, kMaxSettingsFileBytes); !s.ok()) {
      error("template " + shown(path) + " cannot be read (" + s.description +
            "): a run cannot compute its checksum; make it readable for the account the runs use");
      return;
    }
    // The bytes checked are the bytes parsed, as in a run.
    rs_.templateBytes = bytes;
    for (Finding& f : checkLogNamesOutsideCodePage(bytes)) findings_.push_back(f);
    checkTemplateChecksum(path);
    checkTemplateDocument(bytes, path);
  }

  void checkTemplateChecksum(const std::string& path) {
    std::string why;
    // The routine's log lines go nowhere: the check opens no activity log.
    if (fncGenerateChecksum(rs_, os_, path, why)) {
      // The library's own answer is about the file; anything else (a library this program
      // cannot load, a template rewritten meanwhile) says what to do in its description.
      const bool libraryAnswered = why.rfind("MD5: ", 0) == 0;
      error("template checksum cannot be computed (" + why + "): a run reports it as its failure" +
            (libraryAnswered ? "; make the template readable" : ""));
      return;
    }
    const std::string md5 = toUpperAnsi(trimSpaces(rs_.computedChecksum));
    const std::string expected = toUpperAnsi(trimSpaces(rs_.expectedChecksum));
    const std::string command = " (" + os_.checksum.operatorCommand(path) + " computes it)";
    if (expected.empty()) {
      error("EVENT is empty: a run reports \"Checksum is missing for the event template\"; set " +
            std::string("EVENT to the template's MD5 ") + md5 + command);
    } else if (expected != md5) {
      error("template MD5 " + md5 + " differs from EVENT " + trimSpaces(rs_.expectedChecksum) +
            ": a run reports \"Checksum mismatched for event log\"; redeliver the template the "
            "server assigned, or if this is it, set EVENT to " +
            md5 + command);
    } else {
      ok("template MD5 " + md5 + " matches EVENT" + command);
    }
  }

  void checkTemplateDocument(const std::string& bytes, const std::string& path) {
    XmlDocument document;
    Status loaded = decodeXmlText(bytes, &text_);
    if (loaded.ok()) loaded = document.loadBytes(bytes);
    if (!loaded.ok()) {
      error("template is not well-formed XML (" + loaded.description +
            "): a run reports \"Failed to load the xml file\"; correct the template there or "
            "deliver it again");
      return;
    }
    // The run's own parser reads the template, and the run's own rules judge it: the check
    // reports exactly what a run logs about it.
    fncParseWebpostData(rs_, os_, path);
    std::vector<bool> noted(rs_.monitorEntries.size() + 1);
    for (const TemplateNote& note : templateNotes(rs_)) {
      std::string where = note.offset == TemplateNote::kNoOffset
                              ? std::string("template")
                              : "template line " + std::to_string(lineAt(text_, note.offset));
      if (note.entry > 0) where += ", entry " + std::to_string(note.entry);
      const std::string text = where + ": " + note.what + ": " + note.runDoes +
                               (note.advice.empty() ? "" : "; " + note.advice);
      note.warning ? warning(text) : error(text);
      noted[note.entry] = true;
    }
    for (std::size_t i = 0; i < rs_.monitorEntries.size(); ++i) {
      const MonitorEntry& entry = rs_.monitorEntries[i];
      const std::string log = trimSpaces(entry.evntlgsourcestr);
      const std::string number = "entry " + std::to_string(i + 1);
      if (!log.empty()) {
        if (logs_.count(log) == 0) logOrder_.push_back(entry.evntlgsourcestr);
        logs_[log].push_back(number);
      }
      if (!noted[i + 1]) {
        ok("template line " + std::to_string(lineAt(text_, entry.offset)) + ", " + number +
           ": event log " + quoted(entry.evntlgsourcestr));
      }
    }
  }

  void checkExecutionState() {
    LocalTime from = addSeconds(now_, -3600);
    const std::string ini = executionIniPathOf(rs_.installPath);
    FileState state = settingsFile(ini, "execution state",
                                   "a run cannot keep its threshold, LastRun or last failure; "
                                   "remove it");
    if (state == FileState::kMissing) {
      ok("execution state " + shown(ini) +
         " is not written yet: the next run reads the last hour and writes the threshold " +
         kDefaultThreshold);
    } else if (state == FileState::kReadable) {
      checkThreshold(readState(os_, ini, "Threshold", "EventDetails"));
      checkLastRun(readState(os_, ini, "LastRunDateTime", "LastRun"), &from);
      std::string reason;
      fncGetIniString(os_, reason, "LastFailure", "Reason", ini);
      if (!emptyOrBlank(reason)) {
        warning("the last run reported the failure " + quoted(trimSpaces(reason)) +
                ": a run does not post the same failure again until one succeeds");
      }
    }
    fromTime_ = runTimestamp(from);
    toTime_ = runTimestamp(now_);
  }

  void checkThreshold(const std::string& text) {
    bool defaulted = false;
    const std::string threshold = settledThreshold(text, &defaulted);
    if (defaulted && !emptyOrBlank(text) && trimSpaces(text) != "0") {
      warning("threshold " + quoted(text) + " in [Threshold] EventDetails is not a number: a " +
              "run replaces it by " + kDefaultThreshold);
    } else if (defaulted) {
      ok(std::string("threshold not set: the next run writes the default ") + kDefaultThreshold);
    } else if (numericValue(threshold) < 0) {
      warning("threshold " + threshold +
              " is negative: every run reports a threshold violation, even one without events");
    } else {
      ok("threshold " + threshold + " detail rows per run");
    }
  }

  void checkLastRun(const std::string& text, LocalTime* from) {
    const std::string fix =
        "; correct this machine's clock or remove LastRun from "
        "[LastRunDateTime]";
    const RunGate gate = decideRunGate(text, now_);
    const std::string when = "LastRun " + trimSpaces(text);
    switch (gate.kind) {
      case RunGate::Kind::kFirstRun:
        ok("no LastRun: the next run reads the last hour");
        break;
      case RunGate::Kind::kUnreadable:
        error("LastRun " + quoted(text) + " is not a date and time (MM/DD/YYYY HH:NN:SS): a " +
              "run reports \"Failed to get the exe's last execution time. Type mismatch\" and " +
              "reads the last hour; remove LastRun from [LastRunDateTime]");
        break;
      case RunGate::Kind::kFarAhead:
        error(when + " lies more than 24 clock hours after this machine's time " +
              runTimestamp(now_) + ": a run reports \"Last execution time " +
              runTimestamp(*gate.lastRun) + " lies more than 24 hours ahead of the clock.\" and " +
              "reads the last hour" + fix);
        break;
      case RunGate::Kind::kRefused:
        if (civilSeconds(*gate.lastRun) > civilSeconds(now_)) {
          error(when + " lies after this machine's time " + runTimestamp(now_) +
                ": every run until the hour after it is refused (\"Last exection is less than "
                "an hour.\")" +
                fix);
        } else {
          ok(when +
             ": a run within this clock hour is refused as a second one; the next hour's "
             "proceeds");
        }
        break;
      case RunGate::Kind::kTooOld:
        warning(when +
                " is more than 24 clock hours ago: the next run reads only the last hour, "
                "the time between is never read");
        break;
      case RunGate::Kind::kSince:
        ok(when + ": the next run reads the " + std::to_string(gate.hours) + " hour(s) since then");
        break;
    }
    *from = gate.from;
  }

  void checkEventLogs() {
    if (logOrder_.empty()) return;
    std::vector<EventLogSource> present;
    const bool listed = os_.logQuery.listLogs(&present).ok();
    std::vector<std::string> presentNames;
    for (const EventLogSource& log : present) presentNames.push_back(log.name);
    // Logs the system keeps itself (Windows' channels) have no file: the names are the system's.
    const bool channels =
        listed && !present.empty() &&
        std::all_of(present.begin(), present.end(),
                    [](const EventLogSource& log) { return log.location.empty(); });
    for (const std::string& name : logOrder_) {
      const std::string which =
          "event log " + quoted(name) + " (" + joined(logs_[trimSpaces(name)]) + ")";
      std::unique_ptr<LogQuery> query;
      std::unique_ptr<LogInputFormat> format;
      Status s = os_.logQuery.createQuery(&query);
      if (s.ok()) s = os_.logQuery.createEventLogInputFormat(&format);
      if (!s.ok()) {
        error("the log query engine cannot be started (" + s.description +
              "): a run reads no event log and reports it");
        return;
      }
      std::string text;
      std::unique_ptr<LogRecordSet> rows;
      s = buildEventQuery(name, fromTime_, toTime_, &text);
      if (s.ok()) s = query->execute(text, *format, &rows);
      auto found = std::find_if(present.begin(), present.end(), [&](const EventLogSource& log) {
        return asciiEqualsNoCase(log.name, name);
      });
      if (!s.ok()) {
        std::string advice =
            found != present.end()
                ? (found->location.empty() ? "give the account the runs use the right to read it"
                                           : "export the log again")
            : !listed && !os_.logQuery.readsLogFiles()
                ? "check that this computer's event log service runs (wevtutil el lists the logs)"
            : !listed  ? "export the log into the event-log folder"
            : channels ? "name a log this computer keeps (wevtutil el lists them)"
            : presentNames.empty()
                ? "export the log into the event-log folder, which holds no event log"
                : "export the log into the event-log folder, which holds " + joined(presentNames);
        error(which + ": " + s.description + ": a run reports it as its failure; " + advice);
        continue;
      }
      long window = 0;
      for (; !rows->atEnd(); rows->moveNext()) ++window;
      const long records = rows->inputUnitsProcessed();
      // A log the system keeps itself (Windows' channels) has no file to show.
      const std::string file =
          found == present.end() || found->location.empty() ? "" : shown(found->location) + ", ";
      ok(which + ": " + file + std::to_string(records) +
         (records == 1 ? " record, " : " records, ") + std::to_string(window) +
         " in the window a run now reads");
      for (const std::string& note : rows->skipNotes()) {
        warning(which + ": " + note);
      }
    }
  }

  void checkServerSettings() {
    const std::string file = rs_.installPath + layout::kServerSettingsFile;
    FileState state = settingsFile(file, "server settings",
                                   "no report is posted; write the server's base URLs there");
    if (state == FileState::kMissing) {
      warning("server settings " + shown(file) +
              " are missing: no report is posted, each is kept as a file in " +
              layout::kPostLogsFolder +
              "; write "
              "the server's base URLs there");
      return;
    }
    if (state == FileState::kUnreadable) return;
    checkUrl(file, "wpdcmodjobexestsins", "status reports");
    checkUrl(file, "wpdcmscctmpevtlgfail", "failure reports");
  }

  void checkUrl(const std::string& file, const std::string& section, const std::string& what) {
    std::string value;
    fncGetIniString(os_, value, section, "URL", file);
    const std::string url = trimSpaces(value);
    const std::string named = "URL " + quoted(url) + " in [" + section + "]";
    if (url.empty()) {
      warning("no URL in [" + section + "] of the server settings: " + what +
              " are not posted but kept as files in " + layout::kPostLogsFolder);
    } else if (std::string problem = urlProblem(url); !problem.empty()) {
      error(named + " " + problem + ": every post of " + what +
            " fails; write the server's base URL, such as https://server.example/reports/");
    } else if (asciiStartsWithNoCase(url, "http://")) {
      warning(named + " is plain http: " + what +
              " travel unencrypted; use https:// when the server offers it");
    } else {
      ok(what + " go to " + url);
    }
  }

  Platform& os_;
  const LocalTime now_;
  RunState rs_;  // what a run would read; its activity log stays closed
  std::vector<Finding> findings_;
  std::string text_;                                      // the template as UTF-8
  std::vector<std::string> logOrder_;                     // log names as first written
  std::map<std::string, std::vector<std::string>> logs_;  // trimmed name -> its entries
  std::string fromTime_;
  std::string toTime_;
};

}  // namespace

std::vector<Finding> checkInstallation(Platform& os) { return Checker(os).run(); }

std::string findingLine(const Finding& finding) {
  switch (finding.severity) {
    case Severity::kOk:
      return "ok: " + finding.text;
    case Severity::kWarning:
      return "warning: " + finding.text;
    case Severity::kError:
      break;
  }
  return "error: " + finding.text;
}

std::string checkSummary(const std::vector<Finding>& findings) {
  auto count = [&](Severity s) {
    return std::count_if(findings.begin(), findings.end(),
                         [&](const Finding& f) { return f.severity == s; });
  };
  auto plural = [](long n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return "sccevtmon --check: " + plural(count(Severity::kError), "error") + ", " +
         plural(count(Severity::kWarning), "warning");
}

int checkExitStatus(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Severity::kError; })
             ? 1
             : 0;
}

}  // namespace sccevtmon
