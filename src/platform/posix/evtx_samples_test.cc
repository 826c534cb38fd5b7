// The .evtx reader over the real sample logs, record by record against python-evtx.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>

#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/exported_log_engine.h"
#include "platform/posix/file_system.h"
#include "testing/sample_data.h"
#include "testing/scoped_time_zone.h"
#include "util/civil_time.h"

namespace sccevtmon {
namespace {

// "record TAB id TAB source TAB yyyy-mm-dd hh:mm:ss" of one row, as the helper script prints.
std::string line(const EventRow& row) {
  auto value = [&](EventField f) { return row.values[static_cast<int>(f)].value_or(""); };
  std::string t = value(EventField::kTimeGenerated);  // MM/DD/YYYY HH:NN:SS
  std::string iso =
      t.size() == 19 ? t.substr(6, 4) + "-" + t.substr(0, 2) + "-" + t.substr(3, 2) + t.substr(10)
                     : t;
  return std::to_string(row.recordId) + "\t" + value(EventField::kEventId) + "\t" +
         value(EventField::kSourceName) + "\t" + iso;
}

// The helper script's lines for a file; false when python-evtx cannot be run.
bool pythonRecords(const std::string& file, int everyChunk, std::vector<std::string>* lines) {
  std::string command = "/usr/bin/python3 '" SCCEVTMON_SOURCE_DIR "/tests/evtx_records.py' '" +
                        file + "' " + std::to_string(everyChunk) + " 2>/dev/null";
  std::string text;
  if (!commandOutput(command, &text)) return false;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines->push_back(text.substr(start, end - start));
  }
  return true;
}

long recordNumber(const std::string& l) { return std::stol(l.substr(0, l.find('\t'))); }

struct Sample {
  const char* file;
  long records;
  // 1: every record is compared; N: the records of every N-th chunk (python-evtx reads a few
  // hundred records a second; logs-a/Security.evtx holds one kind of event only).
  int everyChunk;
};

void PrintTo(const Sample& sample, std::ostream* os) { *os << sample.file; }

class EvtxSampleTest : public ::testing::TestWithParam<Sample> {};

TEST_P(EvtxSampleTest, AgreesWithPythonEvtxRecordByRecord) {
  const Sample& sample = GetParam();
  std::string path = sampleEvtxFolder() + "/" + sample.file;
  if (!std::filesystem::exists(path)) {
    GTEST_SKIP() << kNeedsSamples;
  }
  ScopedTimeZone utc("UTC0");
  EventLogContents contents;
  Status s = readEvtxExport(hostFiles(), path, EventWindow{}, &contents);
  ASSERT_TRUE(s.ok()) << s.description;
  EXPECT_EQ(contents.processed, sample.records);
  EXPECT_EQ(contents.skipped, 0);
  ASSERT_EQ(static_cast<long>(contents.rows.size()), sample.records);

  std::vector<std::string> expected;
  if (!pythonRecords(path, sample.everyChunk, &expected)) {
    GTEST_SKIP() << "python-evtx (Debian python3-evtx) cannot be run by /usr/bin/python3";
  }
  // python-evtx gives the records in file order; the engine in record-number order.
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return recordNumber(a) < recordNumber(b); });
  if (sample.everyChunk == 1) {
    ASSERT_EQ(static_cast<long>(expected.size()), sample.records);
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(line(contents.row(k)), expected[k]) << "record index " << k;
    }
  } else {
    // A sample of the chunks; the large log repeats its chunks, so a record number can stand
    // for several records, which are then alike.
    ASSERT_GT(expected.size(), 0u);
    std::multimap<long, std::string> rows;
    for (const EventRow& r : contents.eventRows())
      rows.emplace(static_cast<long>(r.recordId), line(r));
    for (const std::string& e : expected) {
      auto [first, last] = rows.equal_range(recordNumber(e));
      bool found = false;
      for (auto it = first; it != last; ++it) found = found || it->second == e;
      EXPECT_TRUE(found) << e;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, EvtxSampleTest,
    ::testing::Values(
        Sample{"logs-a/Application.evtx", 2216, 1},
        Sample{"logs-a/Microsoft-Windows-PowerShell%4Operational.evtx", 302, 1},
        Sample{"logs-a/Microsoft-Windows-Sysmon%4Operational.evtx", 358, 1},
        Sample{"logs-a/Security.evtx", 3561, 3}, Sample{"logs-a/System.evtx", 1601, 1},
        Sample{"logs-a/Windows PowerShell.evtx", 13, 1}, Sample{"logs-b/Application.evtx", 27, 1},
        Sample{"logs-b/Security.evtx", 2261, 1}, Sample{"logs-b/System.evtx", 1881, 1},
        Sample{"large/Security.evtx", 24839, 32}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.file)) name += std::isalnum(c) ? c : '_';
      return name;
    });

// The damaged and odd files: what the decoder reads of them, through the whole engine (libevtx
// read 337, 2140, none, 1573 and 267 of the damaged ones).
TEST(EvtxEdgeTest, DamagedFilesGiveWhatTheDecoderRecoversAndNeverCrash) {
  std::string folder = sampleEvtxFolder() + "/edge";
  if (!std::filesystem::exists(folder)) {
    GTEST_SKIP() << kNeedsSamples;
  }
  ScopedTimeZone utc("UTC0");
  struct Case {
    const char* log;
    long processed;
    size_t rows;
    const char* failure;  // start of the description when execute fails
  };
  const Case cases[] = {
      {"CAPI2-libevtx-partial", 340, 340, nullptr},
      // The records wholly before the cut inside the last chunk.
      {"Security-truncated", 2156, 2156, nullptr},
      {"Security-unreadable-by-both-parsers", 420, 420, nullptr},
      {"System-1-record", 1, 1, nullptr},
      {"System-bitflip", 1601, 1601, nullptr},
      {"bad-chunk-magic", 301, 298, nullptr},
      {"empty", 0, 0, "/empty.evtx cannot be opened as an event log: "},
      {"header-only", 0, 0, nullptr},
      {"not-an-evtx", 0, 0, "/not-an-evtx.evtx cannot be opened as an event log: "},
  };
  ExportedLogQueryEngine engine(hostFiles(), [&] { return folder; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    std::unique_ptr<LogQuery> q;
    std::unique_ptr<LogInputFormat> f;
    ASSERT_TRUE(engine.createQuery(&q).ok());
    ASSERT_TRUE(engine.createEventLogInputFormat(&f).ok());
    std::unique_ptr<LogRecordSet> set;
    Status s = q->execute(
        std::string("SELECT EventID AS evtid, TimeGenerated AS datetime FROM '") + c.log + "'", *f,
        &set);
    if (c.failure != nullptr) {
      EXPECT_EQ(s.number, kErrAutomation);
      std::string prefix = "The event log file " + folder + c.failure;
      EXPECT_EQ(s.description.substr(0, prefix.size()), prefix);
      continue;
    }
    ASSERT_TRUE(s.ok()) << s.description;
    EXPECT_EQ(set->inputUnitsProcessed(), c.processed);
    size_t rows = 0;
    for (; !set->atEnd(); set->moveNext()) {
      LogValue id;
      ASSERT_TRUE(set->getRecord().getValue("evtid", &id).ok());
      ++rows;
    }
    EXPECT_EQ(rows, c.rows);
  }
}

// The window test is on TimeCreated: the last record of this log has the header time
// 1601-01-01 and TimeCreated 2016-09-20 13:15:31, and the log is not in time order.
TEST(EvtxEdgeTest, WindowIsOnTimeCreated) {
  std::string folder = sampleEvtxFolder() + "/logs-a";
  if (!std::filesystem::exists(folder)) {
    GTEST_SKIP() << kNeedsSamples;
  }
  ScopedTimeZone utc("UTC0");
  EventLogContents all;
  ASSERT_TRUE(readEvtxExport(hostFiles(), folder + "/Application.evtx", EventWindow{}, &all).ok());
  EventWindow last{true, civilSeconds(LocalTime{2016, 9, 20, 13, 15, 31}),
                   civilSeconds(LocalTime{2016, 9, 20, 13, 15, 31})};
  EventLogContents some;
  ASSERT_TRUE(readEvtxExport(hostFiles(), folder + "/Application.evtx", last, &some).ok());
  EXPECT_EQ(some.processed, 2216);
  size_t expected = 0;
  for (const EventRow& r : all.eventRows()) {
    expected += r.values[static_cast<int>(EventField::kTimeGenerated)] == "09/20/2016 13:15:31";
  }
  EXPECT_GE(expected, 1u);
  EXPECT_EQ(some.rows.size(), expected);
}

}  // namespace
}  // namespace sccevtmon
