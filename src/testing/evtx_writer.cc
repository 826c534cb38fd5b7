#include "testing/evtx_writer.h"

#include <algorithm>
#include <cstring>

#include "evtx/evtx.h"

namespace sccevtmon::testing {

using namespace std::string_literals;

std::string le(std::uint64_t v, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += static_cast<char>(v >> (8 * k) & 0xFF);
  return s;
}

std::string utf16(std::string_view ascii) {
  std::string s;
  for (char c : ascii) s += c, s += '\0';
  return s;
}

namespace {

std::uint32_t crc(const std::string& b, std::size_t at, std::size_t n, std::uint32_t from = 0) {
  return evtx::crc32(std::as_bytes(std::span(b.data() + at, n)), from);
}

void put32(std::string& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void put64(std::string& b, std::size_t at, std::uint64_t v) { std::memcpy(b.data() + at, &v, 8); }

}  // namespace

EvtxChunkWriter::EvtxChunkWriter() : b_(512, '\0') { std::memcpy(b_.data(), "ElfChnk", 8); }

void EvtxChunkWriter::patch16(std::uint32_t at, std::uint32_t v) {
  std::memcpy(b_.data() + at, &v, 2);
}
void EvtxChunkWriter::patch32(std::uint32_t at, std::uint32_t v) { put32(b_, at, v); }

void EvtxChunkWriter::open(const std::string& name, bool attributes, bool dependencyId) {
  u8(attributes ? 0x41 : 0x01);
  if (dependencyId) u16(0xFFFF);
  std::uint32_t sizeAt = pos();
  u32(0);
  u32(pos() + 4);
  u32(0), u16(0), u16(static_cast<unsigned>(name.size())), raw(utf16(name)), u16(0);
  std::uint32_t listAt = 0;
  if (attributes) listAt = pos(), u32(0);
  open_.emplace_back(sizeAt, listAt);
}

// The sizes are patched once known: the attribute list's when the start tag closes, the
// element's (everything after its size field) when it ends.
void EvtxChunkWriter::closeStart() {
  if (open_.back().second != 0) patch32(open_.back().second, pos() - open_.back().second - 4);
  u8(0x02);
}

void EvtxChunkWriter::closeEmpty() {
  if (open_.back().second != 0) patch32(open_.back().second, pos() - open_.back().second - 4);
  u8(0x03);
  patch32(open_.back().first, pos() - open_.back().first - 4);
  open_.pop_back();
}

void EvtxChunkWriter::end() {
  u8(0x04);
  patch32(open_.back().first, pos() - open_.back().first - 4);
  open_.pop_back();
}

void EvtxChunkWriter::attribute(const std::string& name) {
  u8(0x06), u32(pos() + 4);
  u32(0), u16(0), u16(static_cast<unsigned>(name.size())), raw(utf16(name)), u16(0);
}

void EvtxChunkWriter::text(const std::string& ascii) {
  u8(0x05), u8(0x01), u16(static_cast<unsigned>(ascii.size())), raw(utf16(ascii));
}

void EvtxChunkWriter::entity(const std::string& name) {
  u8(0x09), u32(pos() + 4);
  u32(0), u16(0), u16(static_cast<unsigned>(name.size())), raw(utf16(name)), u16(0);
}

void EvtxChunkWriter::sub(unsigned index, unsigned type, bool optional) {
  u8(optional ? 0x0E : 0x0D), u16(index), u8(type);
}

void EvtxChunkWriter::fragmentHeader() { u8(0x0F), u8(1), u8(1), u8(0); }

void EvtxChunkWriter::element(const std::string& name, unsigned index, unsigned type) {
  open(name), closeStart(), sub(index, type), end();
}

std::uint32_t EvtxChunkWriter::defineTemplate(const std::function<void()>& tokens) {
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

void EvtxChunkWriter::useTemplate(std::uint32_t definition) {
  u8(0x0C), u8(1), u32(0), u32(definition);
}

void EvtxChunkWriter::values(const std::vector<EvtxValue>& v) {
  u32(static_cast<std::uint32_t>(v.size()));
  for (const auto& [type, bytes] : v) u16(static_cast<unsigned>(bytes.size())), u8(type), u8(0);
  for (const auto& [type, bytes] : v) raw(bytes);
}

std::uint32_t EvtxChunkWriter::record(std::uint64_t number, const std::function<void()>& body) {
  std::uint32_t start = pos();
  raw("\x2a\x2a\0\0"s), u32(0), u64(number), u64(kWrittenCreated);
  fragmentHeader();
  body();
  u8(0x00);
  while ((pos() + 4 - start) % 8 != 0) u8(0);
  u32(pos() + 4 - start);
  patch32(start + 4, pos() - start);
  if (first_ == 0) first_ = number;
  last_ = number;
  lastRecord_ = start;
  return start;
}

std::string EvtxChunkWriter::finish() const {
  std::string c = b_;
  put64(c, 8, first_), put64(c, 16, last_), put64(c, 24, first_), put64(c, 32, last_);
  put32(c, 40, 128), put32(c, 44, lastRecord_), put32(c, 48, pos());
  put32(c, 52, crc(c, 512, c.size() - 512));
  c.resize(evtx::kChunkSize, '\0');
  put32(c, 124, crc(c, 128, 384, crc(c, 0, 120)));
  return c;
}

std::string evtxFile(const std::vector<std::string>& chunks) {
  std::string f(evtx::kFileHeaderSize, '\0');
  std::memcpy(f.data(), "ElfFile", 8);
  std::uint64_t next = 1;
  for (const std::string& c : chunks) {
    std::uint64_t last;
    std::memcpy(&last, c.data() + 16, 8);
    next = std::max(next, last + 1);
  }
  put64(f, 8, 0), put64(f, 16, chunks.empty() ? 0 : chunks.size() - 1), put64(f, 24, next);
  put32(f, 32, 128);
  f.replace(36, 8, le(1, 2) + le(3, 2) + le(evtx::kFileHeaderSize, 2) + le(chunks.size(), 2));
  put32(f, 124, crc(f, 0, 120));
  for (const std::string& c : chunks) f += c;
  return f;
}

void writeSystemTemplate(EvtxChunkWriter& w, const std::function<void()>& tail) {
  w.open("Event"), w.closeStart();
  w.open("System"), w.closeStart();
  w.open("Provider", true), w.attribute("Name"), w.text("Prov");
  w.attribute("EventSourceName"), w.sub(0, 0x01, true), w.closeEmpty();
  w.open("EventID", true), w.attribute("Qualifiers"), w.sub(1, 0x06, true), w.closeStart();
  w.sub(2, 0x06), w.end();
  w.element("Level", 3, 0x04);
  w.element("Task", 4, 0x06);
  w.element("Keywords", 5, 0x15);
  w.open("TimeCreated", true), w.attribute("SystemTime"), w.sub(6, 0x11), w.closeEmpty();
  w.element("EventRecordID", 7, 0x0A);
  w.end();
  tail();
  w.end();
}

std::vector<EvtxValue> systemValues(const std::string& source, std::uint64_t created,
                                    std::uint64_t recordId) {
  return {{source.empty() ? 0x00 : 0x01, utf16(source)},
          {0x06, le(16384, 2)},
          {0x06, le(7036, 2)},
          {0x04, le(2, 1)},
          {0x06, le(5, 2)},
          {0x15, le(0x8010000000000000ULL, 8)},
          {0x11, le(created, 8)},
          {0x0A, le(recordId, 8)}};
}

std::string classicLog() {
  EvtxChunkWriter w;
  std::uint32_t definition = 0;
  auto values = [](const std::string& source) {
    auto v = systemValues(source, kWrittenCreated);
    v.push_back({0x01, utf16("a<b")});
    v.push_back({0x81, utf16("x") + "\0\0"s + utf16("y") + "\0\0"s});
    v.push_back({0x00, ""});
    v.push_back({0x0E, "\x01\xAB"s});
    return v;
  };
  w.record(1, [&] {
    definition = w.defineTemplate([&] {
      writeSystemTemplate(w, [&] {
        w.open("EventData"), w.closeStart();
        w.open("Data", true), w.attribute("Name"), w.text("s"), w.closeStart();
        w.sub(8, 0x01), w.end();
        w.element("Data", 9, 0x81);
        w.open("Data"), w.closeStart(), w.sub(10, 0x01, true), w.end();
        w.open("Data"), w.closeStart(), w.text("T"), w.entity("amp"), w.text("C"), w.end();
        w.element("Binary", 11, 0x0E);
        w.end();
      });
    });
    w.values(values("Src"));
  });
  w.record(2, [&] {
    w.useTemplate(definition);
    w.values(values(""));
  });
  return evtxFile({w.finish()});
}

namespace {

// A value of nested binary XML, levels deep: each level an instance of <Wrap>%0</Wrap> whose
// value is the next level, the last a fragment written without a template (so without
// dependency identifiers).
void nestedValue(EvtxChunkWriter& w, int levels, std::uint32_t* wrap) {
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
    *wrap = w.defineTemplate([&] { w.element("Wrap", 0, 0x21); });
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

}  // namespace

std::string userDataLog(int levels) {
  EvtxChunkWriter w;
  w.record(7, [&] {
    w.defineTemplate([&] { writeSystemTemplate(w, [&] { w.element("UserData", 8, 0x21); }); });
    auto v = systemValues("", kWrittenCreated);
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
  return evtxFile({w.finish()});
}

const std::vector<WrittenValue>& writtenValueTypes() {
  const std::string guid = "\x78\x56\x34\x12\x34\x12\x78\x56\x01\x02\x03\x04\x05\x06\x07\x08"s;
  const std::string sid = "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00"s;
  const std::string systemTime =
      le(2023, 2) + le(1, 2) + le(5, 2) + le(20, 2) + le(18, 2) + le(59, 2) + le(19, 2) + le(7, 2);
  const char* guidText = "{12345678-1234-5678-0102-030405060708}";
  const char* fileTimeText = "2012-03-14T04:17:43.354562700Z";
  const char* systemTimeText = "2023-01-20T18:59:19.007000000Z";
  static const std::vector<WrittenValue> types = {
      {0x01, utf16("abc"), {"abc"}},
      {0x02, "ansi", {"ansi"}},
      {0x03, "\xFF", {"-1"}},
      {0x04, "\xFF", {"255"}},
      {0x05, le(0x8000, 2), {"-32768"}},
      {0x06, le(0x8000, 2), {"32768"}},
      {0x07, le(0xFFFFFFFE, 4), {"-2"}},
      {0x08, le(0xFFFFFFFE, 4), {"4294967294"}},
      {0x09, le(~0ULL, 8), {"-1"}},
      {0x0A, le(~0ULL, 8), {"18446744073709551615"}},
      {0x0B, le(0x3FC00000, 4), {"1.5"}},
      {0x0C, le(0x3FF8000000000000ULL, 8), {"1.5"}},
      {0x0D, le(1, 4), {"true"}},
      {0x0E, "\x01\xAB"s, {"01AB"}},
      {0x0F, guid, {guidText}},
      {0x10, le(0x1F, 8), {"0x000000000000001f"}},
      {0x11, le(kWrittenCreated, 8), {fileTimeText}},
      {0x12, systemTime, {systemTimeText}},
      {0x13, sid, {"S-1-5-32-544"}},
      {0x14, le(0xC000006D, 4), {"0xc000006d"}},
      {0x15, le(0x8010000000000000ULL, 8), {"0x8010000000000000"}},
      {0x81, utf16("x") + "\0\0"s + utf16("y") + "\0\0"s, {"x", "y"}},
      {0x82, "a\0b\0"s, {"a", "b"}},
      {0x83, "\xFF\x01"s, {"-1", "1"}},
      {0x84, "\xFF\x01"s, {"255", "1"}},
      {0x85, le(0x8000, 2) + le(1, 2), {"-32768", "1"}},
      {0x86, le(0x8000, 2) + le(1, 2), {"32768", "1"}},
      {0x87, le(0xFFFFFFFE, 4) + le(1, 4), {"-2", "1"}},
      {0x88, le(0xFFFFFFFE, 4) + le(1, 4), {"4294967294", "1"}},
      {0x89, le(~0ULL, 8) + le(1, 8), {"-1", "1"}},
      {0x8A, le(~0ULL, 8) + le(1, 8), {"18446744073709551615", "1"}},
      {0x8B, le(0x3FC00000, 4) + le(0xC0000000, 4), {"1.5", "-2"}},
      {0x8C, le(0x3FF8000000000000ULL, 8) + le(0xC000000000000000ULL, 8), {"1.5", "-2"}},
      {0x8D, le(1, 4) + le(0, 4), {"true", "false"}},
      {0x8F, guid + guid, {guidText, guidText}},
      {0x91, le(kWrittenCreated, 8) + le(kWrittenCreated, 8), {fileTimeText, fileTimeText}},
      {0x92, systemTime + systemTime, {systemTimeText, systemTimeText}},
      {0x94, le(0xC000006D, 4) + le(1, 4), {"0xc000006d", "0x00000001"}},
      {0x95, le(0x8010000000000000ULL, 8) + le(1, 8), {"0x8010000000000000", "0x0000000000000001"}},
  };
  return types;
}

void writeValueRecord(EvtxChunkWriter& w, std::uint64_t number, const EvtxValue& value) {
  w.record(number, [&] {
    w.defineTemplate([&] {
      writeSystemTemplate(w, [&] {
        w.open("EventData"), w.closeStart(), w.element("Data", 8, value.first), w.end();
      });
    });
    auto v = systemValues("Src", kWrittenCreated, number);
    v.push_back(value);
    w.values(v);
  });
}

std::string valueTypesLog() {
  EvtxChunkWriter w;
  std::uint64_t number = 0;
  for (const WrittenValue& t : writtenValueTypes())
    writeValueRecord(w, ++number, {t.type, t.bytes});
  return evtxFile({w.finish()});
}

std::string hourlyLog(int count, int perChunk) {
  std::vector<std::string> chunks;
  EvtxChunkWriter w;
  std::uint32_t definition = 0;
  for (int k = 0; k < count; ++k) {
    if (k > 0 && k % perChunk == 0) {
      chunks.push_back(w.finish());
      w = EvtxChunkWriter();
      definition = 0;
    }
    auto number = static_cast<std::uint64_t>(k + 1);
    w.record(number, [&] {
      if (definition == 0) {
        definition = w.defineTemplate([&] {
          writeSystemTemplate(
              w, [&] { w.open("EventData"), w.closeStart(), w.element("Data", 8, 0x01), w.end(); });
        });
      } else {
        w.useTemplate(definition);
      }
      auto v = systemValues("Src", kWrittenCreated + number * 36000000000ULL, number);
      v.push_back({0x01, utf16("event " + std::to_string(number))});
      w.values(v);
    });
  }
  chunks.push_back(w.finish());
  return evtxFile(chunks);
}

std::string cut(const std::string& file, std::size_t size) { return file.substr(0, size); }

std::string withByte(const std::string& file, std::size_t at, char value) {
  std::string f = file;
  f.at(at) = value;
  return f;
}

std::string withRecordSize(const std::string& file, std::size_t at, std::uint32_t size) {
  std::string f = file;
  put32(f, at + 4, size);
  return f;
}

}  // namespace sccevtmon::testing
