// The decoder over logs written byte by byte (src/testing/evtx_writer.h): templates and their
// substitutions, every value type, nested binary XML, the window callback, damage with its
// reasons and places, and bounds. The same files are compared with libevtx in
// src/platform/posix/evtx_decoder_test.cc.

#include "evtx/evtx.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "evtx/value_text.h"
#include "testing/evtx_writer.h"

namespace evtx {
namespace {

using namespace std::string_literals;
using namespace sccevtmon::testing;

// What a test sees of the records.
struct Seen {
  std::uint64_t number;
  CreationTime created;
  std::map<std::string, std::string> fields;  // absent fields are left out
  std::vector<std::string> strings;
  DataSource source;
};

class Collect : public RecordSink {
 public:
  std::function<bool(std::uint64_t)> want = [](std::uint64_t) { return true; };
  std::vector<Seen> seen;
  long asked = 0;

  std::uint32_t wanted(std::uint64_t number, const CreationTime& created) override {
    ++asked;
    pending_ = {number, created, {}, {}, DataSource::kNone};
    return want(number) ? static_cast<std::uint32_t>(kAllParts) : 0u;
  }
  void take(const Event& e) override {
    Seen s = pending_;
    const std::pair<const char*, const Field*> fields[] = {{"SystemTime", &e.systemTime},
                                                           {"EventID", &e.eventId},
                                                           {"Qualifiers", &e.qualifiers},
                                                           {"Level", &e.level},
                                                           {"Task", &e.task},
                                                           {"Keywords", &e.keywords},
                                                           {"Name", &e.providerName},
                                                           {"EventSourceName", &e.eventSourceName},
                                                           {"EventRecordID", &e.eventRecordId}};
    for (const auto& [n, f] : fields) {
      if (f->present) s.fields[n] = std::string(f->text);
    }
    for (std::string_view t : e.strings) s.strings.emplace_back(t);
    s.source = e.source;
    seen.push_back(s);
  }

 private:
  Seen pending_;
};

Summary decode(const std::string& bytes, Collect& sink) {
  Decoder d;
  // An exact-size copy, so that a sanitizer sees any read past the end.
  std::vector<std::byte> copy(bytes.size());
  if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
  return d.read(copy, sink);
}

std::string hex(std::size_t v) {
  char b[24];
  return "0x" + std::string(b, std::to_chars(b, b + sizeof b, v, 16).ptr);
}

// The lines of a summary's places.
std::vector<std::string> lines(const Summary& s) {
  std::vector<std::string> l;
  for (const Place& p : s.places) l.push_back(Summary::line(p));
  return l;
}

TEST(EvtxDecoderTest, TemplateSubstitutionsFillTheFields) {
  Collect sink;
  Summary s = decode(classicLog(), sink);
  EXPECT_TRUE(s.isEventLog);
  EXPECT_EQ(s.records, 2);
  EXPECT_EQ(s.skipped, 0);
  EXPECT_EQ(s.damagedChunks, 0);
  ASSERT_EQ(sink.seen.size(), 2u);
  const Seen& first = sink.seen[0];
  EXPECT_EQ(first.created.kind, CreationTime::Kind::kFileTime);
  EXPECT_EQ(first.created.fileTime, kWrittenCreated);
  std::map<std::string, std::string> want = {{"SystemTime", "2012-03-14T04:17:43.354562700Z"},
                                             {"EventID", "7036"},
                                             {"Qualifiers", "16384"},
                                             {"Level", "2"},
                                             {"Task", "5"},
                                             {"Keywords", "0x8010000000000000"},
                                             {"Name", "Prov"},
                                             {"EventSourceName", "Src"},
                                             {"EventRecordID", "42"}};
  EXPECT_EQ(first.fields, want);
  EXPECT_EQ(first.source, DataSource::kEventData);
  // The array gives one value per element, the empty optional value is kept, Binary is not.
  EXPECT_EQ(first.strings, (std::vector<std::string>{"a<b", "x", "y", "", "T&C"}));
  // The second record reuses the compiled template; its empty optional attribute is left out.
  want.erase("EventSourceName");
  EXPECT_EQ(sink.seen[1].fields, want);
  EXPECT_EQ(sink.seen[1].strings, first.strings);
}

TEST(EvtxDecoderTest, UnwantedRecordsAreCountedButNotRendered) {
  Collect sink;
  sink.want = [](std::uint64_t n) { return n == 2; };
  Summary s = decode(classicLog(), sink);
  EXPECT_EQ(s.records, 2);
  EXPECT_EQ(sink.asked, 2);
  ASSERT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(sink.seen[0].number, 2u);
}

TEST(EvtxDecoderTest, EveryValueTypeGivesItsText) {
  Collect sink;
  Summary s = decode(valueTypesLog(), sink);
  const auto& types = writtenValueTypes();
  EXPECT_EQ(s.skipped + s.repaired, 0);
  ASSERT_EQ(sink.seen.size(), types.size());
  for (std::size_t k = 0; k < types.size(); ++k) {
    SCOPED_TRACE(types[k].type);
    EXPECT_EQ(sink.seen[k].strings, types[k].texts);
  }
}

TEST(EvtxDecoderTest, NestedBinaryXmlGivesUserDataLeavesUpToABound) {
  for (int levels : {0, 3, 7}) {
    SCOPED_TRACE(levels);
    Collect sink;
    Summary s = decode(userDataLog(levels), sink);
    EXPECT_EQ(s.skipped, 0);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].source, DataSource::kUserData);
    EXPECT_EQ(sink.seen[0].strings, (std::vector<std::string>{"one", "", "two"}));
  }
  // Deeper nesting than the decoder follows: the record is skipped, nothing overflows.
  Collect sink;
  Summary s = decode(userDataLog(40), sink);
  EXPECT_EQ(s.records, 1);
  EXPECT_EQ(s.skipped, 1);
  EXPECT_EQ(
      lines(s),
      (std::vector<std::string>{"binary XML nested too deep (chunk 0, record 7, offset 0x1200)"}));
  EXPECT_TRUE(sink.seen.empty());
}

// A value whose length does not suit its type reads "?"; the record is kept and counted.
TEST(EvtxDecoderTest, ValueOfTheWrongLengthIsRepaired) {
  const EvtxValue cases[] = {
      {0x01, "abc"},                                                // odd UTF-16
      {0x07, "\x01\x02\x03"},                                       // Int32 of 3 bytes
      {0x0F, std::string(15, '\x01')},                              // GUID
      {0x13, "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00"s},  // SID
      {0x10, "\x01\x02\x03\x04\x05"},                               // SizeT
      {0x87, "\x01\x02\x03\x04\x05"},  // an Int32 array that does not divide
      {0x81, "a\0b"s},                 // a string array of odd size
  };
  for (const EvtxValue& c : cases) {
    SCOPED_TRACE(c.first);
    EvtxChunkWriter w;
    writeValueRecord(w, 1021, c);
    Collect sink;
    Summary s = decode(evtxFile({EvtxChunkWriter().finish(), w.finish()}), sink);
    EXPECT_EQ(s.skipped, 0);
    EXPECT_EQ(s.repaired, 1);
    EXPECT_EQ(s.byReason[static_cast<int>(Reason::kValueLength)], 1);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].strings, std::vector<std::string>{"?"});
    EXPECT_EQ(lines(s), (std::vector<std::string>{"substitution length does not suit its type "
                                                  "(chunk 1, record 1021, offset 0x11200)"}));
  }
  // TimeCreated of the wrong length: no FILETIME for the window, its text "?".
  EvtxChunkWriter w;
  w.record(5, [&] {
    w.defineTemplate([&] { writeSystemTemplate(w, [] {}); });
    auto v = systemValues("Src", kWrittenCreated);
    v[6].second.pop_back();
    w.values(v);
  });
  Collect sink;
  Summary s = decode(evtxFile({w.finish()}), sink);
  ASSERT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(sink.seen[0].created.kind, CreationTime::Kind::kOther);
  EXPECT_EQ(sink.seen[0].fields["SystemTime"], "?");
  EXPECT_EQ(s.repaired, 1);
}

TEST(EvtxDecoderTest, DamageIsCountedWithItsReasonAndPlace) {
  const std::string good = classicLog();
  const std::size_t chunk = kFileHeaderSize;
  std::uint32_t firstSize;
  std::memcpy(&firstSize, good.data() + chunk + 512 + 4, 4);
  const std::size_t second = chunk + 512 + firstSize;
  struct Case {
    const char* what;
    std::string bytes;
    long records, damaged;
    size_t rows;
    std::vector<std::string> places;
  };
  const Case cases[] = {
      // A flipped value: the records checksum fails, the records still decode.
      {"value byte", withByte(good, good.find(utf16("a<b"), chunk + 512), 'X'), 2, 1, 2, {}},
      // The chunk header's checksum fails: the records are still walked.
      {"chunk header", withByte(good, chunk + 60, 1), 2, 1, 2, {}},
      // The first record's signature broken: the second is found by searching.
      {"record signature", withByte(good, chunk + 512, 0), 1, 1, 1, {}},
      // The first record's size broken: counted, the second found.
      {"record length",
       withRecordSize(good, chunk + 512, 0x7000),
       2,
       1,
       1,
       {"broken record frame in a damaged chunk (chunk 0, record 1, offset 0x1200)"}},
      // A token of the template made unknown: both records use it and are skipped.
      {"template token",
       withByte(good, good.find("\x0f\x01\x01\x00\x01\xff\xff"s, chunk + 512) + 4, 0x3F),
       2,
       1,
       0,
       {"template that does not decode (chunk 0, record 1, offset 0x1200)",
        "template that does not decode (chunk 0, record 2, offset " + hex(second) + ")"}},
      // The file ends inside the second record.
      {"cut",
       cut(good, second + 40),
       2,
       1,
       1,
       {"record cut off by the end of the file (chunk 0, record 2, offset " + hex(second) + ")"}},
      // Not an event log.
      {"file signature", withByte(good, 0, 'X'), 0, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Collect sink;
    Summary s = decode(c.bytes, sink);
    EXPECT_EQ(s.isEventLog, c.bytes[0] == 'E');
    EXPECT_EQ(s.records, c.records);
    EXPECT_EQ(s.skipped, static_cast<long>(c.places.size()));
    EXPECT_EQ(s.damagedChunks, c.damaged);
    EXPECT_EQ(sink.seen.size(), c.rows);
    EXPECT_EQ(lines(s), c.places);
  }
  // A header whose checksum fails still bounds the records by its free space: what lies beyond
  // is slack, even when it holds a whole record.
  std::string slack = good;
  std::uint32_t freeOffset = 512 + firstSize;
  std::memcpy(slack.data() + chunk + 48, &freeOffset, 4);
  Collect sink;
  Summary s = decode(slack, sink);
  EXPECT_EQ(s.records, 1);
  EXPECT_EQ(s.damagedChunks, 1);
  EXPECT_EQ(sink.seen.size(), 1u);
}

TEST(EvtxDecoderTest, SummaryKeepsTheFirstPlacesAndCountsAll) {
  // Every record of 30 over three chunks instantiates a broken template.
  std::string log = hourlyLog(30, 10);
  for (std::size_t at = log.find("\x0f\x01\x01\x00\x01\xff\xff"s); at != std::string::npos;
       at = log.find("\x0f\x01\x01\x00\x01\xff\xff"s, at + 1)) {
    log[at + 4] = 0x3F;
  }
  Collect sink;
  Summary s = decode(log, sink);
  EXPECT_EQ(s.skipped, 30);
  EXPECT_EQ(s.byReason[static_cast<int>(Reason::kBadTemplate)], 30);
  ASSERT_EQ(s.places.size(), Summary::kMaxPlaces);
  EXPECT_EQ(s.places.back().record, Summary::kMaxPlaces);
}

TEST(EvtxDecoderTest, AnyCutOfTheFileIsReadWithinItsBytes) {
  const std::string whole = userDataLog(3) + classicLog().substr(kFileHeaderSize);
  Collect all;
  decode(whole, all);
  ASSERT_EQ(all.seen.size(), 3u);
  for (std::size_t size = 0; size < whole.size(); size += size < 4096 + 2048 ? 1 : 509) {
    Collect sink;
    Summary s = decode(whole.substr(0, size), sink);
    ASSERT_LE(sink.seen.size(), all.seen.size()) << size;
    ASSERT_LE(s.skipped, s.records) << size;
    long counted = 0;
    for (long n : s.byReason) counted += n;
    ASSERT_EQ(counted, s.skipped + s.repaired) << size;
  }
}

TEST(EvtxValueTextTest, RendersEachValueType) {
  using namespace detail;
  struct Case {
    std::uint8_t type;
    std::string bytes;
    const char* text;  // nullptr: the bytes do not fit the type
    Fit fit = Fit::kFits;
  };
  // The types' ordinary values are in writtenValueTypes; these are their edges.
  std::vector<Case> cases = {
      {kString, utf16("abc") + "\0\0"s + utf16("d"), "abc"},
      {kString, "\x3d\xd8\x00\xde"s, "\xF0\x9F\x98\x80"},  // a surrogate pair
      {kString, "\x00\xd8\x41\x00"s,
       "\xEF\xBF\xBD"
       "A"},  // an unpaired surrogate
      {kString, "abc", nullptr, Fit::kBadLength},
      {kAnsiString, "caf\xE9\x80", "caf\xC3\xA9\xE2\x82\xAC"},
      {kUInt64, le(1, 4), nullptr, Fit::kBadLength},
      {kBool, le(0, 4), "false"},
      {kFileTime, le(0, 8), "1601-01-01T00:00:00.000000000Z"},
      {detail::kSystemTime, le(10000, 2) + std::string(14, '\0'), nullptr, Fit::kBadValue},
      {kSid, "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00"s, nullptr, Fit::kBadLength},
      {kEvtHandle, le(1, 8), nullptr, Fit::kBadValue},
  };
  for (const WrittenValue& w : writtenValueTypes()) {
    if (w.type < kArrayFlag)
      cases.push_back({static_cast<std::uint8_t>(w.type), w.bytes, w.texts[0].c_str()});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    std::string out = "<";
    Fit fit = appendScalar(c.type, reinterpret_cast<const unsigned char*>(c.bytes.data()),
                           c.bytes.size(), out);
    EXPECT_EQ(fit, c.fit);
    EXPECT_EQ(out, "<"s + (c.text != nullptr ? c.text : ""));
  }
}

}  // namespace
}  // namespace evtx
