#include "run/replay.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <tuple>

#include "base/run_state.h"
#include "base/text.h"
#include "base/time_stamp.h"
#include "env/execution_state.h"
#include "env/identity.h"
#include "extract/log_binding.h"
#include "extract/query_builder.h"
#include "platform/install_layout.h"
#include "run/check.h"
#include "run/report_files.h"
#include "run/run_sequence.h"
#include "run/startup.h"
#include "template/template_checksum.h"
#include "template/template_parser.h"

namespace sccevtmon {
namespace {

// The clock of a replay: the window's end stands for the run's time.
class FixedClock : public Clock {
 public:
  explicit FixedClock(LocalTime time) : time_(time) {}
  LocalTime now() override { return time_; }

 private:
  LocalTime time_;
};

std::optional<LocalTime> parseOptionTime(const std::string& text) {
  LocalTime t;
  char tail = 0;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                  &t.minute, &t.second, &tail) != 6 ||
      !isValidLocalTime(t)) {
    return std::nullopt;
  }
  return t;
}

// What is wrong with a time option's text, or empty text. An event log's time stamps count
// from 1601, and the report's texts hold four-digit years.
std::string optionTimeProblem(const std::string& name, const std::string& text) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits > 4 && text.size() == 15 + digits) {
    return name + " " + text + " lies after the year 9999, the last an event log can hold";
  }
  std::optional<LocalTime> time = parseOptionTime(text);
  if (!time) return name + " " + text + " is not a time YYYY-MM-DD HH:MM:SS";
  if (time->year < 1601) {
    return name + " " + text + " lies before the year 1601, the first an event log can hold";
  }
  return {};
}

// Whether path is folder or lies inside it, comparing the paths as the file layer writes
// them (without following links).
bool isSameOrInside(Platform& os, const std::string& path, const std::string& folder) {
  std::string p = os.files.nativePath(path);
  std::string f = os.files.nativePath(folder);
  if (p.empty() || f.empty()) return false;
  auto sep = [](char c) { return c == '/' || c == '\\'; };
  while (p.size() > 1 && sep(p.back())) p.pop_back();
  while (f.size() > 1 && sep(f.back())) f.pop_back();
  // Windows names compare without regard to case; the portable build's do not.
  bool folded = f.find('\\') != std::string::npos;
  if (folded) {
    p = toUpperAnsi(p);
    f = toUpperAnsi(f);
  }
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 &&
                    (sep(p[f.size()]) || sep(f.back())));
}

// The threshold as a run settles it, read without writing the default back.
std::string thresholdOf(Platform& os, const std::string& installPath) {
  bool defaulted = false;
  return settledThreshold(
      readState(os, executionIniPathOf(installPath), "Threshold", "EventDetails"), &defaulted);
}

// Rows of text in columns as wide as their widest cell, numbers on the right.
std::vector<std::string> columns(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width;
  for (const auto& row : rows) {
    width.resize(std::max(width.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string& cell = row[i];
      std::string pad(width[i] - cell.size(), ' ');
      bool number = !cell.empty() && std::all_of(cell.begin(), cell.end(),
                                                 [](char c) { return c >= '0' && c <= '9'; });
      line += (i == 0 ? "" : "  ") + (number ? pad + cell : cell + pad);
    }
    lines.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
  }
  return lines;
}

// One row per monitoring entry: its log, the log's rows and what each stage left, and the rows
// written; an entry its pass did not reach says why.
std::vector<std::string> entryTable(const RunState& rs) {
  std::vector<std::vector<std::string>> rows = {{"entry", "scriptid", "log", "found", "type",
                                                 "source", "id", "description", "pairs", "detail",
                                                 "summary"}};
  std::vector<std::string> notes;
  for (std::size_t i = 0; i < rs.monitorEntries.size(); ++i) {
    const MonitorEntry& entry = rs.monitorEntries[i];
    const std::string number = std::to_string(i + 1);
    const std::string log = trimSpaces(entry.evntlgsourcestr);
    if (log.empty()) {
      notes.push_back("entry " + number + " names no event log");
      continue;
    }
    const LogTally* tally = nullptr;
    for (const LogTally& t : rs.logTallies) {
      if (trimSpaces(t.logName) == log) tally = &t;
    }
    const EntryTally* counted = nullptr;
    if (tally != nullptr) {
      for (const EntryTally& e : tally->entries) {
        if (e.entry == i) counted = &e;
      }
    }
    if (counted == nullptr) {
      std::string why = tally == nullptr         ? "was not read"
                        : tally->failure.empty() ? "holds no record"
                                                 : "failed: " + tally->failure;
      notes.push_back("entry " + number + ": log " + log + " " + why);
      continue;
    }
    rows.push_back({number, numberText(numericValue(entry.scriptid)), log,
                    std::to_string(tally->rows), std::to_string(counted->afterType),
                    std::to_string(counted->afterSource), std::to_string(counted->afterId),
                    std::to_string(counted->afterDescription), std::to_string(counted->afterPairs),
                    std::to_string(counted->detailRows), std::to_string(counted->summaryRows)});
  }
  // What the engine could not read whole, once per log.
  for (const LogTally& t : rs.logTallies) {
    for (const std::string& note : t.skipNotes) notes.push_back("log " + t.logName + ": " + note);
  }
  std::vector<std::string> lines = columns(rows);
  lines.insert(lines.end(), notes.begin(), notes.end());
  return lines;
}

}  // namespace

std::string parseReplayOptions(const std::vector<std::string>& args, ReplayOptions* options) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    std::string* value = args[i] == "--from"        ? &options->from
                         : args[i] == "--to"        ? &options->to
                         : args[i] == "--out"       ? &options->outFolder
                         : args[i] == "--template"  ? &options->templateFile
                         : args[i] == "--logs"      ? &options->logFolder
                         : args[i] == "--threshold" ? &options->threshold
                                                    : nullptr;
    if (value == nullptr) return "unknown option " + args[i];
    if (i + 1 >= args.size() || args[i + 1].empty()) return args[i] + " needs a value";
    *value = args[i + 1];
  }
  if (options->from.empty() || options->to.empty() || options->outFolder.empty()) {
    return "--replay needs --from, --to and --out";
  }
  for (auto [name, text] : {std::pair{"--from", &options->from}, std::pair{"--to", &options->to}}) {
    if (std::string problem = optionTimeProblem(name, *text); !problem.empty()) return problem;
  }
  if (civilSeconds(*parseOptionTime(options->from)) > civilSeconds(*parseOptionTime(options->to))) {
    return "--from lies after --to";
  }
  if (!options->threshold.empty()) {
    const std::string& t = options->threshold;
    bool digits = t.size() <= 5 &&
                  std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || numericValue(t) < 1 || numericValue(t) > 32767) {
      return "--threshold " + t + " is not a whole number from 1 to 32767";
    }
  }
  return {};
}

int runReplay(Platform& os, const ReplayOptions& options, std::vector<std::string>* table) {
  auto fail = [&](const std::string& why) {
    os.process.printError("sccevtmon: " + why);
    return 1;
  };
  RunState rs;  // its activity log stays closed: the routines' log lines go nowhere
  fncGetRegInfo(rs, os, layout::kIdentityKey);
  // Someone without an installation replays another machine's template and logs.
  const std::string noRegistry = os.registry.unavailableReason();
  if (!noRegistry.empty()) {
    if (options.templateFile.empty() || options.logFolder.empty()) {
      return fail(noRegistry + "; without a registry file --replay needs --template and --logs");
    }
    rs = RunState{};
    os.process.printError("sccevtmon: warning: " + noRegistry +
                          "; the report files carry no REGID");
  } else {
    if (std::string problem = regIdFileNameProblem(rs.regId); !problem.empty()) {
      return fail("REGID \"" + rs.regId + "\" " + problem + ": it cannot name the report files");
    }
    if (numericValue(rs.regId) == 0) {
      return fail("REGID \"" + rs.regId + "\" is not a non-zero number: a run would refuse it");
    }
  }
  if (const std::string install = trimSpaces(rs.installPath);
      !install.empty() && isSameOrInside(os, options.outFolder, install)) {
    return fail("--out " + os.files.nativePath(options.outFolder) +
                " lies in the installation folder " + os.files.nativePath(install) +
                ": the agent and the next run would take the replayed files for real reports");
  }
  std::string templatePath = options.templateFile;
  if (templatePath.empty()) {
    if (trimSpaces(rs.installPath).empty()) return fail("no InstallationPath in the registry");
    templatePath = rs.installPath + layout::kTemplateFile;
  }
  if (!os.files.fileExists(templatePath)) {
    return fail("template " + os.files.nativePath(templatePath) + " is missing");
  }
  fncParseWebpostData(rs, os, templatePath);
  if (!rs.templateFailure.empty()) {
    return fail("template " + os.files.nativePath(templatePath) + ": " + rs.templateFailure);
  }
  std::string why;
  if (fncGenerateChecksum(rs, os, templatePath, why)) {
    os.process.printError("sccevtmon: warning: " + why);
  } else if (toUpperAnsi(trimSpaces(rs.computedChecksum)) !=
             toUpperAnsi(trimSpaces(rs.expectedChecksum))) {
    os.process.printError("sccevtmon: warning: the template's MD5 " + rs.computedChecksum +
                          " differs from EVENT \"" + rs.expectedChecksum +
                          "\": a run would refuse this template");
  }

  rs.eventThreshold = !options.threshold.empty() ? numberText(numericValue(options.threshold))
                      : trimSpaces(rs.installPath).empty() ? kDefaultThreshold
                                                           : thresholdOf(os, rs.installPath);
  const LocalTime to = *parseOptionTime(options.to);
  rs.fromTime = runTimestamp(*parseOptionTime(options.from));
  rs.toTime = runTimestamp(to);
  rs.monitorTime = rs.toTime;
  std::string version;
  if (os.process.ownFileVersion(&version).ok()) rs.exeVersion = version;
  if (!options.logFolder.empty()) os.logQuery.readLogsFrom(options.logFolder);

  const std::string out = options.outFolder;
  if (!os.files.folderExists(out)) {
    if (Status s = os.files.createFolder(out); !s.ok()) {
      return fail("cannot create " + os.files.nativePath(out) + ": " + s.description);
    }
  }
  // The report files are made where a run makes them, in the folder installPath names, and
  // stamped by the clock: here the out folder, and the window's end.
  FixedClock clock(to);
  Platform replay{os.registry, os.profile,  os.files,   clock,
                  os.process,  os.logQuery, os.webPost, os.checksum};
  rs.installPath = out + "\\";
  bool lastRunDue = false;
  Status s = extractTemplateLogs(rs, replay, &lastRunDue);
  if (!s.ok()) return fail("cannot write the report files in " + out + ": " + s.description);
  applyEventThreshold(rs);

  table->push_back("window " + rs.fromTime + " to " + rs.toTime + ", template id " +
                   numberText(numericValue(rs.templateId)) + " version " +
                   numberText(numericValue(rs.templateVersion)) + ", threshold " +
                   rs.eventThreshold);
  std::vector<std::string> entries = entryTable(rs);
  table->insert(table->end(), entries.begin(), entries.end());
  // The files were written aside; those a run would hand over are put in place.
  for (auto [name, aside, rows] :
       {std::tuple{&rs.summaryFileName, &rs.summaryAsidePath, rs.hasSummaryRows},
        std::tuple{&rs.detailFileName, &rs.detailAsidePath, rs.hasDetailRows}}) {
    const std::string path = rs.installPath + *name;
    if (!rows) {
      // A run hands over only files with rows, and no detail file over the threshold.
      os.files.deleteFile(*aside, true);
    } else if (Status moved = os.files.renameFile(*aside, path); moved.ok()) {
      table->push_back("wrote " + os.files.nativePath(path));
    } else {
      return fail("cannot put " + os.files.nativePath(path) + " in place: " + moved.description);
    }
  }
  if (rs.totalEventCount > 0 && !rs.hasDetailRows) {
    table->push_back("no detail file: its " + decimal(rs.totalEventCount) +
                     " rows exceed the threshold " + rs.eventThreshold);
  }
  // Every log that failed says so; the run would report only the first failure.
  int status = 0;
  for (const LogTally& log : rs.logTallies) {
    if (!log.failure.empty()) status = fail("event log " + log.logName + ": " + log.failure);
  }
  if (status == 0 && !trimSpaces(rs.failureReason).empty()) {
    status = fail(trimSpaces(rs.failureReason));
  }
  return status;
}

}  // namespace sccevtmon
