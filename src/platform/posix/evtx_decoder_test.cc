// The .evtx decoder against the reader it replaced (libevtx renders each record as XML, which
// is parsed and mapped): every record of every sample log and of every written log, every
// column, and the counts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "evtx/evtx.h"
#include "platform/eventlog/evtx_events.h"
#include "testing/evtx_oracle.h"
#include "testing/evtx_writer.h"
#include "testing/sample_data.h"
#include "testing/scoped_time_zone.h"
#include "testing/temp_folder.h"
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

// Reads the file with both readers and compares their rows. damaged: libevtx fails records or
// whole chunks of it, so the decoder may read more.
void expectTheRowsLibevtxGives(const std::string& path, bool damaged,
                               const std::set<std::uint64_t>& differ = {}) {
  // A zone with daylight-saving time, so that the local-time conversion is compared too.
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EventLogContents ours, theirs;
  std::vector<std::string> xml;
  Status a = readEvtxExport(hostFiles(), path, EventWindow{}, &ours);
  Status b = testing::readEvtxFileWithLibevtx(path, EventWindow{}, &theirs, &xml);
  // The decoder reads damaged logs that libevtx cannot read at all.
  if (damaged && a.ok() && !b.ok()) return;
  ASSERT_EQ(a.ok(), b.ok()) << a.description << " / " << b.description;
  if (!a.ok()) {
    EXPECT_EQ(a.number, b.number);
    return;
  }
  Differences d;
  std::set<std::uint64_t> known = whiteSpaceValues(path);
  known.insert(differ.begin(), differ.end());
  compareRows(ours, theirs, xml, known, &d);
  std::string shown;
  for (size_t k = 0; k < d.lines.size() && k < 3; ++k) shown += d.lines[k] + "\n";
  EXPECT_TRUE(d.lines.empty()) << d.lines.size() << " rows differ, the first:\n" << shown;
  if (const char* dump = getenv("EVTX_DIFF_DUMP")) {
    FILE* f = fopen(dump, "a");
    for (const std::string& l : d.lines) fprintf(f, "%s\n", l.c_str());
    fclose(f);
  }
  if (damaged) {
    EXPECT_GE(ours.rows.size(), theirs.rows.size());
  } else {
    EXPECT_EQ(ours.processed, theirs.processed);
    EXPECT_EQ(ours.skipped, theirs.skipped);
    EXPECT_EQ(ours.rows.size(), theirs.rows.size());
  }
  std::printf(
      "%s: decoder %ld records, %ld skipped, %zu rows; libevtx %ld, %ld, %zu; %ld rows compared, "
      "%ld without the message\n",
      path.c_str(), ours.processed, ours.skipped, ours.rows.size(), theirs.processed,
      theirs.skipped, theirs.rows.size(), d.compared, d.known);
}

struct Log {
  const char* file;
  bool damaged;  // libevtx fails records or whole chunks of it
};

class EvtxDecoderTest : public ::testing::TestWithParam<Log> {};

void PrintTo(const Log& log, std::ostream* os) { *os << log.file; }

TEST_P(EvtxDecoderTest, GivesTheRowsLibevtxGives) {
  std::string path = sampleEvtxFolder() + "/" + GetParam().file;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << kNeedsSamples;
  expectTheRowsLibevtxGives(path, GetParam().damaged);
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

// The logs written byte by byte (testing/evtx_writer.h), so that a clone without the sample
// logs compares the readers too. hourlyLog's record n was created at 2012-03-14 04:17:43 UTC
// plus n hours.
std::string hourly() { return testing::hourlyLog(60, 25); }
constexpr std::size_t kChunk1 = evtx::kFileHeaderSize + evtx::kChunkSize;

struct Written {
  const char* name;
  std::string bytes;
  bool damaged;  // or libevtx fails records of it
  // Records whose message libevtx 20181227 makes otherwise (their other columns are compared).
  std::set<std::uint64_t> differ = {};
};

const std::vector<Written>& writtenLogs() {
  static const std::vector<Written> logs = {
      // libevtx leaves out the Data element of an empty optional value; the decoder keeps it
      // as an empty insertion string.
      {"classic", testing::classicLog(), false, {1, 2}},
      // libevtx cannot read a fragment written without dependency identifiers.
      {"user-data", testing::userDataLog(3), true},
      // libevtx fails the Boolean array (record 34) and shows these types otherwise: negative
      // integers as sign and magnitude (-127 for 0xFF: records 3, 7, 9, 24, 28, 30), floats with
      // an exponent (11, 12, 32, 33), SizeT in decimal (16), SYSTEMTIME to the millisecond (18,
      // 37).
      {"value-types",
       testing::valueTypesLog(),
       true,
       {3, 7, 9, 11, 12, 16, 18, 24, 28, 30, 32, 33, 37}},
      {"three-chunks", hourly(), false},
      {"chunk-header", testing::withByte(hourly(), kChunk1 + 60, 1), true},
      {"cut", testing::cut(hourly(), kChunk1 + evtx::kChunkSize + 1500), true},
      {"record-length", testing::withRecordSize(hourly(), kChunk1 + 512, 0x7000), true},
      {"chunk-magic", testing::withByte(hourly(), kChunk1, 'X'), true},
      {"header-only", testing::evtxFile({}), false},
      {"empty", "", false},
      {"not-an-evtx", std::string(16800, 'x'), false},
  };
  return logs;
}

TEST(EvtxDecoderWrittenTest, GivesTheRowsLibevtxGives) {
  TempFolder folder;
  for (const Written& w : writtenLogs()) {
    SCOPED_TRACE(w.name);
    folder.write(std::string(w.name) + ".evtx", w.bytes);
    expectTheRowsLibevtxGives(folder.file(std::string(w.name) + ".evtx"), w.damaged, w.differ);
  }
}

// Damaged copies of the written three-chunks log: every row the decoder recovers is the row of
// the undamaged original.
TEST(EvtxDecoderWrittenTest, DamagedCopiesGiveTheOriginalRows) {
  const std::map<std::string, size_t> rows = {
      {"chunk-header", 60},   // every record, though the chunk's header checksum fails
      {"cut", 50 + 2},        // the records wholly before the cut inside the third chunk
      {"record-length", 59},  // the first record of the second chunk
      {"chunk-magic", 35},    // the second chunk
  };
  TempFolder folder;
  folder.write("original.evtx", hourly());
  ScopedTimeZone utc("UTC0");
  EventLogContents want;
  ASSERT_TRUE(readEvtxExport(hostFiles(), folder.file("original.evtx"), EventWindow{}, &want).ok());
  std::map<std::uint64_t, const EventRow*> byId;
  const std::vector<EventRow> wanted = want.eventRows();
  for (const EventRow& r : wanted) byId[r.recordId] = &r;
  for (const Written& w : writtenLogs()) {
    if (rows.count(w.name) == 0) continue;
    SCOPED_TRACE(w.name);
    folder.write("damaged.evtx", w.bytes);
    EventLogContents got;
    ASSERT_TRUE(readEvtxExport(hostFiles(), folder.file("damaged.evtx"), EventWindow{}, &got).ok());
    EXPECT_EQ(got.rows.size(), rows.at(w.name));
    for (const EventRow& r : got.eventRows()) {
      auto it = byId.find(r.recordId);
      ASSERT_NE(it, byId.end()) << describe(r);
      EXPECT_EQ(r.values, it->second->values) << describe(r);
    }
  }
}

// The window is tested on the FILETIME before any text is made: the same rows as the libevtx
// reader's text test, around a daylight-saving change and at the window's bounds.
struct WindowCase {
  const char* file;
  LocalTime from, to;
};

// The rows both readers keep in the case's window of the file at path; their count.
size_t expectTheWindowLibevtxKeeps(const std::string& path, const WindowCase& c) {
  EventWindow window{true, civilSeconds(c.from), civilSeconds(c.to)};
  EventLogContents ours, theirs;
  EXPECT_TRUE(readEvtxExport(hostFiles(), path, window, &ours).ok());
  EXPECT_TRUE(testing::readEvtxFileWithLibevtx(path, window, &theirs).ok());
  EXPECT_EQ(ours.processed, theirs.processed);
  EXPECT_GT(theirs.rows.size(), 0u);
  EXPECT_EQ(ours.rows.size(), theirs.rows.size());
  for (size_t k = 0; k < ours.rows.size() && k < theirs.rows.size(); ++k) {
    EXPECT_EQ(ours.row(k).recordId, theirs.row(k).recordId);
    // Window bounds and times only: the messages are compared above.
    auto time = static_cast<int>(EventField::kTimeGenerated);
    EXPECT_EQ(ours.row(k).values[time], theirs.row(k).values[time]);
  }
  return ours.rows.size();
}

TEST(EvtxDecoderWindowTest, KeepsTheRowsLibevtxKeeps) {
  const WindowCase cases[] = {
      {"logs-a/System.evtx", {2012, 3, 24, 22, 0, 0}, {2012, 3, 25, 4, 0, 0}},
      {"logs-a/Application.evtx", {2016, 9, 1, 0, 0, 0}, {2016, 9, 20, 15, 15, 31}},
  };
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = sampleEvtxFolder() + "/" + c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << kNeedsSamples;
    expectTheWindowLibevtxKeeps(path, c);
  }
}

// Records 1 to 10 of the written log (local times 06:17:43 to 15:17:43 CET), bounds included.
TEST(EvtxDecoderWrittenTest, KeepsTheRowsLibevtxKeepsInAWindow) {
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  TempFolder folder;
  folder.write("three-chunks.evtx", hourly());
  EXPECT_EQ(expectTheWindowLibevtxKeeps(
                folder.file("three-chunks.evtx"),
                {"three-chunks", {2012, 3, 14, 6, 17, 43}, {2012, 3, 14, 15, 17, 43}}),
            10u);
}

// Damaged copies of sample logs (the written ones are above): every row the decoder recovers is the
// row of the undamaged original, and it recovers more than libevtx.
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
      GTEST_SKIP() << kNeedsSamples;
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
