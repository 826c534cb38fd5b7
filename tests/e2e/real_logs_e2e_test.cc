// Whole runs of the built program over the real sample logs: the counts of the summary file
// (and the rows of the detail file) per event type, source and event ID, against the same
// counts worked out from python-evtx over the same window.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>
#include <vector>

#include "e2e_support.h"
#include "testing/sample_data.h"

namespace sccevtmon::e2e {
namespace {

namespace fs = std::filesystem;

bool pythonEvtxRuns() {
  return std::system("/usr/bin/python3 -c 'import Evtx.Evtx' >/dev/null 2>&1") == 0;
}

// Event type, source and event ID: the key of a summary row.
using Key = std::tuple<std::string, std::string, std::string>;
using Counts = std::map<Key, long>;

// The keys whose counts differ, one line each.
std::string differences(const Counts& got, const Counts& want) {
  std::map<Key, std::pair<long, long>> both;
  for (auto& [key, n] : got) both[key].first = n;
  for (auto& [key, n] : want) both[key].second = n;
  std::string text;
  for (auto& [key, n] : both) {
    if (n.first == n.second) continue;
    text += "\n  " + std::get<0>(key) + " | " + std::get<1>(key) + " | " + std::get<2>(key) +
            ": report " + std::to_string(n.first) + ", python-evtx " + std::to_string(n.second);
  }
  return text;
}

// One record as python-evtx reads it.
struct PyRecord {
  time_t created;  // TimeCreated, UTC, whole seconds
  Key key;
};

time_t utcSeconds(const std::string& text) {  // yyyy-mm-dd hh:mm:ss
  tm t{};
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                  &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
    return -1;
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return timegm(&t);
}

std::string utcText(time_t seconds, const char* format) {
  tm t{};
  gmtime_r(&seconds, &t);
  char text[32];
  strftime(text, sizeof text, format, &t);
  return text;
}

// The records of a file from tests/evtx_records.py; false when the script fails.
bool pythonRecords(const std::string& file, std::vector<PyRecord>* records, long* untimed) {
  std::string command =
      "/usr/bin/python3 '" SCCEVTMON_SOURCE_DIR "/tests/evtx_records.py' --types '" + file + "'";
  std::string text;
  if (!commandOutput(command, &text)) return false;
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::stringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    if (fields.size() != 5) return false;  // record, id, source, time, type
    time_t created = utcSeconds(fields[3]);
    if (created < 0) {
      ++*untimed;
      continue;
    }
    records->push_back({created, {fields[4], fields[2], fields[1]}});
  }
  return true;
}

// The start of the hour [start, start + 3600] that holds the most records, taken at a record's
// time so that the lower bound meets a record; the earliest such hour on a tie.
time_t busiestHour(std::vector<time_t> times) {
  std::sort(times.begin(), times.end());
  size_t best = 0, bestCount = 0;
  for (size_t i = 0, j = 0; i < times.size(); ++i) {
    while (j < times.size() && times[j] <= times[i] + 3600) ++j;
    if (j - i > bestCount) {
      best = i;
      bestCount = j - i;
    }
  }
  return times.at(best);
}

// The text of a "<tag><![CDATA[...]]></tag>" line, or nothing when the line is another.
std::optional<std::string> cdata(const std::string& line, const std::string& tag) {
  std::string open = "<" + tag + "><![CDATA[", close = "]]></" + tag + ">";
  if (line.size() < open.size() + close.size() || line.compare(0, open.size(), open) != 0 ||
      line.compare(line.size() - close.size(), close.size(), close) != 0) {
    return std::nullopt;
  }
  std::string value = line.substr(open.size(), line.size() - open.size() - close.size());
  const std::string split = "]]]]><![CDATA[>";
  for (size_t at; (at = value.find(split)) != std::string::npos;)
    value.replace(at, split.size(), "]]>");
  return value;
}

// The ROW elements of a report file: each a map from element name to its CDATA text.
std::vector<std::map<std::string, std::string>> reportRows(const std::string& text,
                                                           const std::vector<std::string>& tags) {
  std::vector<std::map<std::string, std::string>> rows;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    if (line == "<ROW>") rows.emplace_back();
    if (rows.empty()) continue;
    for (const std::string& tag : tags) {
      if (auto value = cdata(line, tag)) rows.back()[tag] = *value;
    }
  }
  return rows;
}

std::string firstWithPrefix(const std::vector<std::string>& names, const std::string& prefix) {
  for (const std::string& name : names) {
    if (name.rfind(prefix, 0) == 0) return name;
  }
  return "";
}

// One run of the built program over one sample file with the clock frozen at `to`: its window
// is [to - 3600, to], and its reports must agree with python-evtx's records in that window.
void checkRun(const std::string& path, const std::vector<PyRecord>& records, time_t to) {
  const time_t from = to - 3600;
  const std::string fromText = utcText(from, "%m/%d/%Y %T"), toText = utcText(to, "%m/%d/%Y %T");
  SCOPED_TRACE("window " + fromText + " .. " + toText);
  Counts expected;
  long inWindow = 0;
  for (const PyRecord& r : records) {
    if (r.created >= from && r.created <= to) {
      ++expected[r.key];
      ++inWindow;
    }
  }
  std::printf("[          ] window %s .. %s holds %ld of %zu records\n", fromText.c_str(),
              toText.c_str(), inWindow, records.size());

  // An installation whose event-log folder holds just this file, under its log name.
  Installation inst;
  const std::string base = fs::path(path).filename().string();
  std::string logName = base.substr(0, base.size() - std::string(".evtx").size());
  for (size_t at; (at = logName.find("%4")) != std::string::npos;) logName.replace(at, 2, "/");
  fs::create_directories(inst.path("logs"));
  fs::create_symlink(path, inst.path("logs/" + base));
  inst.writeRegistry();
  inst.writeTemplate(
      "<dcmevntlgtemplat><template id=\"5\" version=\"1\"/>"
      "<dcm scriptid=\"9\" scriptver=\"1\"><evntlgsourcestr>" +
      logName +
      "</evntlgsourcestr><evnttype>0</evnttype><outputopt>3</outputopt></dcm>"
      "</dcmevntlgtemplat>");
  // A threshold above any window, so that the detail file stays.
  inst.write("qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
             "[Threshold]\r\nEventDetails=1000000\r\n");

  RunResult run =
      inst.run(utcText(to, "%F %T"), {}, {{"SCCEVTMON_EVENTLOG_DIR", inst.path("logs")}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string log = inst.activityLog();
  EXPECT_NE(log.find("MSG : Record Count without filter conditions :" + std::to_string(inWindow) +
                     "\r\n"),
            std::string::npos)
      << log.substr(0, 4000);

  std::vector<std::string> names = inst.list("SCCPostLogs");
  const std::string stamp = utcText(to, "%m%d%Y%H%M%S");
  const std::string summaryName = "wpevntsummdsk_N_4711_" + stamp + ".xml";
  const std::string detailName = firstWithPrefix(names, "wpevntdumpdsk_Y_4711_" + stamp);
  ASSERT_TRUE(inst.exists("SCCPostLogs/" + summaryName)) << summaryName;
  ASSERT_FALSE(detailName.empty());

  const std::string summary = inst.read("SCCPostLogs/" + summaryName);
  EXPECT_NE(summary.find("<ftime>" + fromText + "</ftime>\r\n<totime>" + toText + "</totime>\r\n"),
            std::string::npos);
  Counts summed;
  for (auto& row : reportRows(summary, {"evttype", "evtsrc", "evtid", "totalCount"})) {
    Key key{row["evttype"], row["evtsrc"], row["evtid"]};
    EXPECT_EQ(summed.count(key), 0u)
        << "two summary rows for " << std::get<1>(key) << " " << std::get<2>(key);
    summed[key] += std::stol(row["totalCount"]);
  }
  EXPECT_TRUE(summed == expected) << "summary counts differ:" << differences(summed, expected);

  // The detail file has one row per event, each inside the window.
  Counts detailed;
  for (auto& row : reportRows(inst.read("SCCPostLogs/" + detailName),
                              {"evttype", "evtsrc", "evtid", "datetime"})) {
    ++detailed[Key{row["evttype"], row["evtsrc"], row["evtid"]}];
    const std::string& t = row["datetime"];  // MM/DD/YYYY HH:NN:SS
    time_t at = t.size() == 19 ? utcSeconds(t.substr(6, 4) + "-" + t.substr(0, 2) + "-" +
                                            t.substr(3, 2) + t.substr(10))
                               : -1;
    EXPECT_TRUE(at >= from && at <= to) << t;
  }
  EXPECT_TRUE(detailed == expected) << "detail rows differ:" << differences(detailed, expected);
}

class RealLogsE2eTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RealLogsE2eTest, ReportCountsAgreeWithPythonEvtx) {
  const std::string path = sampleEvtxFolder() + "/" + GetParam();
  if (!fs::exists(path)) {
    GTEST_SKIP() << kNeedsSamples;
  }
  if (!pythonEvtxRuns()) {
    GTEST_SKIP() << "python-evtx (Debian python3-evtx) cannot be run by /usr/bin/python3";
  }

  std::vector<PyRecord> records;
  long untimed = 0;
  ASSERT_TRUE(pythonRecords(path, &records, &untimed)) << "tests/evtx_records.py failed";
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(untimed, 0);

  // Two runs: the busiest hour, whose start meets a record, and the hour that ends at the last
  // record of that one, so that each bound of the window meets a record once.
  std::vector<time_t> times;
  for (const PyRecord& r : records) times.push_back(r.created);
  const time_t start = busiestHour(times);
  time_t last = start;
  for (time_t t : times) {
    if (t <= start + 3600) last = std::max(last, t);
  }
  checkRun(path, records, start + 3600);
  if (last != start + 3600) checkRun(path, records, last);
}

INSTANTIATE_TEST_SUITE_P(Samples, RealLogsE2eTest,
                         ::testing::Values("logs-a/Application.evtx",
                                           "logs-a/Microsoft-Windows-PowerShell%4Operational.evtx",
                                           "logs-a/Microsoft-Windows-Sysmon%4Operational.evtx",
                                           "logs-a/Security.evtx", "logs-a/System.evtx",
                                           "logs-a/Windows PowerShell.evtx",
                                           "logs-b/Application.evtx", "logs-b/Security.evtx",
                                           "logs-b/System.evtx", "large/Security.evtx"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : std::string(info.param)) name += std::isalnum(c) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace sccevtmon::e2e
