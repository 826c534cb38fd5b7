// The .evtx decoder against the reader it replaced (libevtx renders each record as XML, which
// is parsed and mapped): every record of every sample log, every column, and the counts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "evtx/evtx.h"
#include "platform/eventlog/evtx_events.h"
#include "platform/posix/file_system.h"
#include "testing/evtx_oracle.h"
#include "testing/sample_data.h"
#include "testing/scoped_time_zone.h"
#include "util/civil_time.h"

namespace sccevtmon {
namespace {

std::string describe(const EventRow& row) {
  std::string s = "record " + std::to_string(row.recordId);
  for (const LogValue& v : row.values) s += " | " + (v ? *v : std::string("(null)"));
  return s;
}

struct Differences {
  long compared = 0;
  long known = 0;  // records left out of the Message comparison, see whiteSpaceValues
  std::vector<std::string> lines;
};

// The records with an insertion string made only of white space. libevtx writes such a value
// as an empty element (logs-a/Application.evtx, Windows Search Service 1003/1008/...: the
// value "\n" of ExtraInfo, which python-evtx and the decoder keep), so the fallback message
// of these records differs by that value; their other columns are compared.
std::set<std::uint64_t> whiteSpaceValues(const std::string& path) {
  struct Sink : evtx::RecordSink {
    std::set<std::uint64_t> numbers;
    std::uint32_t wanted(std::uint64_t, const evtx::CreationTime&) override {
      return evtx::kStrings;
    }
    void take(const evtx::Event& e) override {
      for (std::string_view s : e.strings) {
        if (!s.empty() && s.find_first_not_of(" \t\r\n") == std::string_view::npos) {
          numbers.insert(e.recordNumber);
        }
      }
    }
  } sink;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  evtx::Decoder decoder;
  decoder.read(std::as_bytes(std::span(bytes.data(), bytes.size())), sink);
  return sink.numbers;
}

// Rows of both readers, both in record-number order (equal numbers: alike records of a log
// that repeats its chunks).
void compareRows(const EventLogContents& ours, const EventLogContents& theirs,
                 const std::vector<std::string>& xml, const std::set<std::uint64_t>& known,
                 Differences* d) {
  std::multimap<std::uint64_t, const EventRow*> mine;
  const std::vector<EventRow> ourRows = ours.eventRows();
  for (const EventRow& r : ourRows) mine.emplace(r.recordId, &r);
  std::map<std::uint64_t, std::string> xmlById;
  for (const std::string& x : xml) {
    size_t at = x.find("<EventRecordID>");
    if (at != std::string::npos) xmlById[std::stoull(x.substr(at + 15))] = x;
  }
  for (const EventRow& r : theirs.eventRows()) {
    ++d->compared;
    auto [first, last] = mine.equal_range(r.recordId);
    bool found = false;
    for (auto it = first; it != last && !found; ++it) found = it->second->values == r.values;
    if (!found && known.count(r.recordId) > 0) {
      auto message = static_cast<int>(EventField::kMessage);
      for (auto it = first; it != last && !found; ++it) {
        EventRow a = *it->second;
        a.values[message] = r.values[message];
        found = a.values == r.values;
      }
      d->known += found;
    }
    if (!found && d->lines.size() < 200) {
      std::string line = "libevtx: " + describe(r) + "\n";
      for (auto it = first; it != last; ++it) line += "decoder: " + describe(*it->second) + "\n";
      line += xmlById[r.recordId];
      d->lines.push_back(line);
    }
  }
}

struct Log {
  const char* file;
  bool damaged;  // libevtx fails records or whole chunks of it
};

class EvtxDecoderTest : public ::testing::TestWithParam<Log> {};

void PrintTo(const Log& log, std::ostream* os) { *os << log.file; }

TEST_P(EvtxDecoderTest, GivesTheRowsLibevtxGives) {
  std::string path = sampleEvtxFolder() + "/" + GetParam().file;
  if (!std::filesystem::exists(path)) {
    GTEST_SKIP() << "sample data not found at " << path << " (set SCCEVTMON_DATA_DIR)";
  }
  // A zone with daylight-saving time, so that the local-time conversion is compared too.
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EventLogContents ours, theirs;
  std::vector<std::string> xml;
  Status a = readEvtxExport(hostFiles(), path, EventWindow{}, &ours);
  Status b = testing::readEvtxFileWithLibevtx(path, EventWindow{}, &theirs, &xml);
  // The decoder reads the damaged log that libevtx cannot read at all (see below).
  if (GetParam().damaged && a.ok() && !b.ok()) return;
  ASSERT_EQ(a.ok(), b.ok()) << a.description << " / " << b.description;
  if (!a.ok()) {
    EXPECT_EQ(a.number, b.number);
    return;
  }
  Differences d;
  compareRows(ours, theirs, xml, whiteSpaceValues(path), &d);
  std::string shown;
  for (size_t k = 0; k < d.lines.size() && k < 3; ++k) shown += d.lines[k] + "\n";
  EXPECT_TRUE(d.lines.empty()) << d.lines.size() << " rows differ, the first:\n" << shown;
  if (const char* dump = getenv("EVTX_DIFF_DUMP")) {
    FILE* f = fopen(dump, "a");
    for (const std::string& l : d.lines) fprintf(f, "%s\n", l.c_str());
    fclose(f);
  }
  if (GetParam().damaged) {
    EXPECT_GE(ours.rows.size(), theirs.rows.size());
  } else {
    EXPECT_EQ(ours.processed, theirs.processed);
    EXPECT_EQ(ours.skipped, theirs.skipped);
    EXPECT_EQ(ours.rows.size(), theirs.rows.size());
  }
  std::printf(
      "%s: decoder %ld records, %ld skipped, %zu rows; libevtx %ld, %ld, %zu; %ld rows compared, "
      "%ld without the message\n",
      GetParam().file, ours.processed, ours.skipped, ours.rows.size(), theirs.processed,
      theirs.skipped, theirs.rows.size(), d.compared, d.known);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, EvtxDecoderTest,
    ::testing::Values(Log{"logs-a/Application.evtx", false},
                      Log{"logs-a/Microsoft-Windows-PowerShell%4Operational.evtx", false},
                      Log{"logs-a/Microsoft-Windows-Sysmon%4Operational.evtx", false},
                      Log{"logs-a/Security.evtx", false}, Log{"logs-a/System.evtx", false},
                      Log{"logs-a/Windows PowerShell.evtx", false},
                      Log{"logs-b/Application.evtx", false}, Log{"logs-b/Security.evtx", false},
                      Log{"logs-b/System.evtx", false}, Log{"large/Security.evtx", false},
                      Log{"edge/CAPI2-libevtx-partial.evtx", true},
                      Log{"edge/Security-truncated.evtx", true},
                      Log{"edge/Security-unreadable-by-both-parsers.evtx", true},
                      Log{"edge/System-1-record.evtx", false},
                      Log{"edge/System-bitflip.evtx", true}, Log{"edge/bad-chunk-magic.evtx", true},
                      Log{"edge/empty.evtx", false}, Log{"edge/header-only.evtx", false},
                      Log{"edge/not-an-evtx.evtx", false}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.file)) name += std::isalnum(c) ? c : '_';
      return name;
    });

// The window is tested on the FILETIME before any text is made: the same rows as the libevtx
// reader's text test, around a daylight-saving change and at the window's bounds.
TEST(EvtxDecoderWindowTest, KeepsTheRowsLibevtxKeeps) {
  struct Case {
    const char* file;
    LocalTime from, to;
  };
  const Case cases[] = {
      {"logs-a/System.evtx", {2012, 3, 24, 22, 0, 0}, {2012, 3, 25, 4, 0, 0}},
      {"logs-a/Application.evtx", {2016, 9, 1, 0, 0, 0}, {2016, 9, 20, 15, 15, 31}},
  };
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = sampleEvtxFolder() + "/" + c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample data not found";
    EventWindow window{true, civilSeconds(c.from), civilSeconds(c.to)};
    EventLogContents ours, theirs;
    ASSERT_TRUE(readEvtxExport(hostFiles(), path, window, &ours).ok());
    ASSERT_TRUE(testing::readEvtxFileWithLibevtx(path, window, &theirs).ok());
    EXPECT_EQ(ours.processed, theirs.processed);
    EXPECT_GT(theirs.rows.size(), 0u);
    ASSERT_EQ(ours.rows.size(), theirs.rows.size());
    for (size_t k = 0; k < ours.rows.size(); ++k) {
      EXPECT_EQ(ours.row(k).recordId, theirs.row(k).recordId);
      // Window bounds and times only: the messages are compared above.
      auto time = static_cast<int>(EventField::kTimeGenerated);
      EXPECT_EQ(ours.row(k).values[time], theirs.row(k).values[time]);
    }
  }
}

// Damaged copies of sample logs: every row the decoder recovers is the row of the undamaged
// original, and it recovers more than libevtx.
TEST(EvtxDecoderDamageTest, RecoversTheOriginalRows) {
  struct Case {
    const char* damaged;
    const char* original;
    size_t rows;  // what the decoder recovers; libevtx recovers fewer (see the README)
  };
  const Case cases[] = {
      // A byte of a template definition in chunk 2 overwritten: the chunk's checksum fails.
      {"edge/System-bitflip.evtx", "logs-a/System.evtx", 1601},
      // Cut inside chunk 20: the records wholly before the cut are kept.
      {"edge/Security-truncated.evtx", "logs-a/Security.evtx", 2156},
  };
  ScopedTimeZone utc("UTC0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damaged);
    std::string damaged = sampleEvtxFolder() + "/" + c.damaged;
    std::string original = sampleEvtxFolder() + "/" + c.original;
    if (!std::filesystem::exists(damaged) || !std::filesystem::exists(original)) {
      GTEST_SKIP() << "sample data not found (set SCCEVTMON_DATA_DIR)";
    }
    EventLogContents got, want;
    ASSERT_TRUE(readEvtxExport(hostFiles(), damaged, EventWindow{}, &got).ok());
    ASSERT_TRUE(readEvtxExport(hostFiles(), original, EventWindow{}, &want).ok());
    EXPECT_EQ(got.rows.size(), c.rows);
    std::map<std::uint64_t, const EventRow*> byId;
    const std::vector<EventRow> wanted = want.eventRows();
    for (const EventRow& r : wanted) byId[r.recordId] = &r;
    for (const EventRow& r : got.eventRows()) {
      auto it = byId.find(r.recordId);
      ASSERT_NE(it, byId.end()) << describe(r);
      EXPECT_EQ(r.values, it->second->values) << describe(r);
    }
  }
}

}  // namespace
}  // namespace sccevtmon
