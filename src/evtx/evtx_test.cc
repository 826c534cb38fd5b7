// The decoder over logs built here byte by byte: templates and their substitutions, nested
// binary XML, the window callback, damage and bounds. The sample logs are compared with libevtx
// in src/platform/posix/evtx_decoder_test.cc.

#include "evtx/evtx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "evtx/value_text.h"

namespace evtx {
namespace {

using namespace std::string_literals;

// A chunk written token by token; offsets are the chunk's own.
class ChunkWriter {
 public:
  ChunkWriter() : b_(512, '\0') { std::memcpy(b_.data(), "ElfChnk", 8); }

  std::uint32_t pos() const { return static_cast<std::uint32_t>(b_.size()); }
  void u8(unsigned v) { b_ += static_cast<char>(v); }
  void u16(unsigned v) { u8(v & 0xFF), u8(v >> 8 & 0xFF); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
  void u64(std::uint64_t v) { u32(static_cast<std::uint32_t>(v)), u32(v >> 32); }
  void raw(const std::string& bytes) { b_ += bytes; }
  void utf16(const std::string& ascii) {
    for (char c : ascii) u16(static_cast<unsigned char>(c));
  }

  // A name written in place, right after the offset that refers to it.
  void name(const std::string& n) {
    u32(pos() + 4);
    u32(0), u16(0), u16(static_cast<unsigned>(n.size())), utf16(n), u16(0);
  }
  void open(const std::string& n, bool attributes = false, bool dependencyId = true) {
    u8(attributes ? 0x41 : 0x01);
    if (dependencyId) u16(0xFFFF);
    u32(0);
    name(n);
    if (attributes) u32(0);
  }
  void attribute(const std::string& n) { u8(0x06), name(n); }
  void closeStart() { u8(0x02); }
  void closeEmpty() { u8(0x03); }
  void end() { u8(0x04); }
  void text(const std::string& t) {
    u8(0x05), u8(0x01), u16(static_cast<unsigned>(t.size())), utf16(t);
  }
  void entity(const std::string& n) { u8(0x09), name(n); }
  void sub(unsigned index, unsigned type, bool optional = false) {
    u8(optional ? 0x0E : 0x0D), u16(index), u8(type);
  }
  void fragmentHeader() { u8(0x0F), u8(1), u8(1), u8(0); }

  // A template instance with its definition written in place; returns the definition's offset.
  std::uint32_t defineTemplate(const std::function<void()>& tokens) {
    u8(0x0C), u8(1), u32(0);
    std::uint32_t definition = pos() + 4;
    u32(definition);
    u32(0), raw(std::string(16, '\x11'));
    std::uint32_t sizeAt = pos();
    u32(0);
    fragmentHeader();
    tokens();
    u8(0x00);
    patch32(sizeAt, pos() - sizeAt - 4);
    return definition;
  }
  void useTemplate(std::uint32_t definition) { u8(0x0C), u8(1), u32(0), u32(definition); }
  void values(const std::vector<std::pair<unsigned, std::string>>& v) {
    u32(static_cast<std::uint32_t>(v.size()));
    for (const auto& [type, bytes] : v) u16(static_cast<unsigned>(bytes.size())), u8(type), u8(0);
    for (const auto& [type, bytes] : v) raw(bytes);
  }

  // A record whose binary XML body writes.
  void record(std::uint64_t number, const std::function<void()>& body) {
    std::uint32_t start = pos();
    raw("\x2a\x2a\0\0"s), u32(0), u64(number), u64(0);
    fragmentHeader();
    body();
    u8(0x00);
    while ((pos() + 4 - start) % 8 != 0) u8(0);
    u32(pos() + 4 - start);
    patch32(start + 4, pos() - start);
    if (first_ == 0) first_ = number;
    last_ = number;
  }

  // The chunk, checksums set, filled to 64 KiB.
  std::string finish() {
    std::string c = b_;
    auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(c.data() + at, &v, 4); };
    auto put64 = [&](std::size_t at, std::uint64_t v) { std::memcpy(c.data() + at, &v, 8); };
    put64(8, first_), put64(16, last_), put64(24, first_), put64(32, last_);
    put32(40, 128), put32(48, pos());
    put32(52, crc32(std::as_bytes(std::span(c.data() + 512, c.size() - 512))));
    c.resize(65536, '\0');
    put32(124, crc32(std::as_bytes(std::span(c.data() + 128, 384)),
                     crc32(std::as_bytes(std::span(c.data(), 120)))));
    return c;
  }

  void patch16(std::uint32_t at, std::uint32_t v) { std::memcpy(b_.data() + at, &v, 2); }
  void patch32(std::uint32_t at, std::uint32_t v) { std::memcpy(b_.data() + at, &v, 4); }

 private:
  std::string b_;
  std::uint64_t first_ = 0, last_ = 0;
};

std::string file(const std::vector<std::string>& chunks) {
  std::string f(4096, '\0');
  std::memcpy(f.data(), "ElfFile", 8);
  for (const std::string& c : chunks) f += c;
  return f;
}

std::string le(std::uint64_t v, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += static_cast<char>(v >> (8 * k) & 0xFF);
  return s;
}
std::string utf16(const std::string& ascii) {
  std::string s;
  for (char c : ascii) s += c, s += '\0';
  return s;
}

constexpr std::uint64_t kCreated = 129761722633545627ULL;  // 2012-03-14T04:17:43.3545627Z

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

// <Event><System>...</System> tail </Event>: a template like those of classic events.
void systemTemplate(ChunkWriter& w, const std::function<void()>& tail) {
  w.open("Event"), w.closeStart();
  w.open("System"), w.closeStart();
  w.open("Provider", true), w.attribute("Name"), w.text("Prov");
  w.attribute("EventSourceName"), w.sub(0, 0x01, true), w.closeEmpty();
  w.open("EventID", true), w.attribute("Qualifiers"), w.sub(1, 0x06, true), w.closeStart();
  w.sub(2, 0x06), w.end();
  w.open("Level"), w.closeStart(), w.sub(3, 0x04), w.end();
  w.open("Task"), w.closeStart(), w.sub(4, 0x06), w.end();
  w.open("Keywords"), w.closeStart(), w.sub(5, 0x15), w.end();
  w.open("TimeCreated", true), w.attribute("SystemTime"), w.sub(6, 0x11), w.closeEmpty();
  w.open("EventRecordID"), w.closeStart(), w.sub(7, 0x0A), w.end();
  w.end();
  tail();
  w.end();
}

std::vector<std::pair<unsigned, std::string>> systemValues(const std::string& source) {
  return {{source.empty() ? 0x00 : 0x01, utf16(source)},
          {0x06, le(16384, 2)},
          {0x06, le(7036, 2)},
          {0x04, le(2, 1)},
          {0x06, le(5, 2)},
          {0x15, le(0x8010000000000000ULL, 8)},
          {0x11, le(kCreated, 8)},
          {0x0A, le(42, 8)}};
}

// Two records of one classic-event template: EventData of a string with an escape, a string
// array, an optional value left empty and Binary; the second without EventSourceName.
std::string classicLog() {
  ChunkWriter w;
  std::uint32_t definition = 0;
  auto values = [](const std::string& source) {
    auto v = systemValues(source);
    v.push_back({0x01, utf16("a<b")});
    v.push_back({0x81, utf16("x") + "\0\0"s + utf16("y") + "\0\0"s});
    v.push_back({0x00, ""});
    v.push_back({0x0E, "\x01\xAB"s});
    return v;
  };
  w.record(1, [&] {
    definition = w.defineTemplate([&] {
      systemTemplate(w, [&] {
        w.open("EventData"), w.closeStart();
        w.open("Data", true), w.attribute("Name"), w.text("s"), w.closeStart();
        w.sub(8, 0x01), w.end();
        w.open("Data"), w.closeStart(), w.sub(9, 0x81), w.end();
        w.open("Data"), w.closeStart(), w.sub(10, 0x01, true), w.end();
        w.open("Data"), w.closeStart(), w.text("T"), w.entity("amp"), w.text("C"), w.end();
        w.open("Binary"), w.closeStart(), w.sub(11, 0x0E), w.end();
        w.end();
      });
    });
    w.values(values("Src"));
  });
  w.record(2, [&] {
    w.useTemplate(definition);
    w.values(values(""));
  });
  return file({w.finish()});
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
  EXPECT_EQ(first.created.fileTime, kCreated);
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

// A value of nested binary XML, levels deep: each level an instance of <Wrap>%0</Wrap> whose
// value is the next level, the last a fragment written without a template (so without
// dependency identifiers).
void nestedValue(ChunkWriter& w, int levels, std::uint32_t* wrap) {
  w.fragmentHeader();
  if (levels == 0) {
    w.open("Op", false, false), w.closeStart();
    w.open("A", false, false), w.closeStart(), w.text("one"), w.end();
    w.open("B", true, false), w.attribute("x"), w.text("v"), w.closeEmpty();
    w.open("C", false, false), w.closeStart();
    w.open("D", false, false), w.closeStart(), w.text("two"), w.end();
    w.end(), w.end();
    w.u8(0x00);
    return;
  }
  if (*wrap == 0) {
    *wrap = w.defineTemplate([&] { w.open("Wrap"), w.closeStart(), w.sub(0, 0x21), w.end(); });
  } else {
    w.useTemplate(*wrap);
  }
  w.u32(1);
  std::uint32_t sizeAt = w.pos();
  w.u16(0), w.u8(0x21), w.u8(0);
  std::uint32_t start = w.pos();
  nestedValue(w, levels - 1, wrap);
  w.patch16(sizeAt, w.pos() - start);
  w.u8(0x00);
}

std::string userDataLog(int levels) {
  ChunkWriter w;
  w.record(7, [&] {
    w.defineTemplate([&] {
      systemTemplate(w, [&] { w.open("UserData"), w.closeStart(), w.sub(8, 0x21), w.end(); });
    });
    auto v = systemValues("");
    w.u32(9);
    for (const auto& [type, bytes] : v) {
      w.u16(static_cast<unsigned>(bytes.size())), w.u8(type), w.u8(0);
    }
    std::uint32_t sizeAt = w.pos();
    w.u16(0), w.u8(0x21), w.u8(0);
    for (const auto& [type, bytes] : v) w.raw(bytes);
    std::uint32_t start = w.pos();
    std::uint32_t wrap = 0;
    nestedValue(w, levels, &wrap);
    w.patch16(sizeAt, w.pos() - start);
  });
  return file({w.finish()});
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
  EXPECT_TRUE(sink.seen.empty());
}

TEST(EvtxDecoderTest, DamageIsCountedAndTheRestRead) {
  const std::string good = classicLog();
  const std::size_t chunk = 4096;
  auto at = [&](const std::string& needle) { return good.find(needle, chunk + 512); };
  struct Case {
    const char* what;
    std::size_t offset;
    char value;
    long records, skipped, damaged;
    size_t rows;
  };
  const Case cases[] = {
      // A flipped value: the records checksum fails, the records still decode.
      {"value byte", at(utf16("a<b")), 'X', 2, 0, 1, 2},
      // The chunk header's checksum fails: the records are still walked.
      {"chunk header", chunk + 60, 1, 2, 0, 1, 2},
      // The first record's signature broken: the second is found by searching.
      {"record signature", chunk + 512, 0, 1, 0, 1, 1},
      // A token of the template made unknown: both records use it and are skipped.
      {"template token", good.find("\x0f\x01\x01\x00\x01\xff\xff"s, chunk + 512) + 4, 0x3F, 2, 2, 1,
       0},
      // Not an event log.
      {"file signature", 0, 'X', 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_LT(c.offset, good.size());
    std::string bad = good;
    bad[c.offset] = c.value;
    Collect sink;
    Summary s = decode(bad, sink);
    EXPECT_EQ(s.isEventLog, c.offset != 0);
    EXPECT_EQ(s.records, c.records);
    EXPECT_EQ(s.skipped, c.skipped);
    EXPECT_EQ(s.damagedChunks, c.damaged);
    EXPECT_EQ(sink.seen.size(), c.rows);
  }
  // A header whose checksum fails still bounds the records by its free space: what lies beyond
  // is slack, even when it holds a whole record.
  std::string slack = good;
  std::uint32_t firstSize;
  std::memcpy(&firstSize, slack.data() + chunk + 512 + 4, 4);
  std::uint32_t freeOffset = 512 + firstSize;
  std::memcpy(slack.data() + chunk + 48, &freeOffset, 4);
  Collect sink;
  Summary s = decode(slack, sink);
  EXPECT_EQ(s.records, 1);
  EXPECT_EQ(s.damagedChunks, 1);
  EXPECT_EQ(sink.seen.size(), 1u);
}

TEST(EvtxDecoderTest, AnyCutOfTheFileIsReadWithinItsBytes) {
  const std::string whole = userDataLog(3) + classicLog().substr(4096);
  Collect all;
  decode(whole, all);
  ASSERT_EQ(all.seen.size(), 3u);
  for (std::size_t size = 0; size < whole.size(); size += size < 4096 + 2048 ? 1 : 509) {
    Collect sink;
    Summary s = decode(whole.substr(0, size), sink);
    ASSERT_LE(sink.seen.size(), all.seen.size()) << size;
    ASSERT_LE(s.skipped, s.records) << size;
  }
}

TEST(EvtxValueTextTest, RendersEachValueType) {
  using namespace detail;
  struct Case {
    std::uint8_t type;
    std::string bytes;
    const char* text;  // nullptr: the bytes do not form such a value
  };
  const Case cases[] = {
      {kString, utf16("abc") + "\0\0"s + utf16("d"), "abc"},
      {kString, "\x3d\xd8\x00\xde"s, "\xF0\x9F\x98\x80"},  // a surrogate pair
      {kString, "\x00\xd8\x41\x00"s,
       "\xEF\xBF\xBD"
       "A"},  // an unpaired surrogate
      {kString, "abc", nullptr},
      {kAnsiString, "caf\xE9\x80", "caf\xC3\xA9\xE2\x82\xAC"},
      {kInt8, "\xFF", "-1"},
      {kUInt8, "\xFF", "255"},
      {kInt16, le(0x8000, 2), "-32768"},
      {kUInt16, le(0x8000, 2), "32768"},
      {kInt32, le(0xFFFFFFFE, 4), "-2"},
      {kUInt32, le(0xFFFFFFFE, 4), "4294967294"},
      {kInt64, le(~0ULL, 8), "-1"},
      {kUInt64, le(~0ULL, 8), "18446744073709551615"},
      {kUInt64, le(1, 4), nullptr},
      {kReal64, le(0x3FF8000000000000ULL, 8), "1.5"},
      {kBool, le(1, 4), "true"},
      {kBool, le(0, 4), "false"},
      {kBinary, "\x01\xAB", "01AB"},
      {kGuid, "\x78\x56\x34\x12\x34\x12\x78\x56\x01\x02\x03\x04\x05\x06\x07\x08"s,
       "{12345678-1234-5678-0102-030405060708}"},
      {kSizeT, le(0x1F, 8), "0x000000000000001f"},
      {kFileTime, le(kCreated, 8), "2012-03-14T04:17:43.354562700Z"},
      {kFileTime, le(0, 8), "1601-01-01T00:00:00.000000000Z"},
      {detail::kSystemTime,
       le(2023, 2) + le(1, 2) + le(5, 2) + le(20, 2) + le(18, 2) + le(59, 2) + le(19, 2) + le(7, 2),
       "2023-01-20T18:59:19.007000000Z"},
      {kSid, "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00"s, "S-1-5-32-544"},
      {kSid, "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00"s, nullptr},
      {kHexInt32, le(0xC000006D, 4), "0xc000006d"},
      {kHexInt64, le(0x8010000000000000ULL, 8), "0x8010000000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    std::string out = "<";
    bool ok = appendScalar(c.type, reinterpret_cast<const unsigned char*>(c.bytes.data()),
                           c.bytes.size(), out);
    EXPECT_EQ(ok, c.text != nullptr);
    if (c.text != nullptr) {
      EXPECT_EQ(out, "<"s + c.text);
    }
  }
}

}  // namespace
}  // namespace evtx
