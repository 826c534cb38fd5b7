#pragma once

// Writes .evtx files byte by byte for the decoder's tests, so that they need no sample logs:
// the file header, chunks with both checksums, template definitions and instances, values of
// every type, nested binary XML, and the damage real files show. The layouts follow the public
// "Windows XML Event Log (EVTX) format" description; the writer shares no code with the decoder.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sccevtmon::testing {

// n bytes of v, little-endian.
std::string le(std::uint64_t v, int n);
// UTF-16LE of ASCII text, without a NUL.
std::string utf16(std::string_view ascii);

// A substitution value: its type code and bytes.
using EvtxValue = std::pair<unsigned, std::string>;

// One chunk, written token by token; offsets are the chunk's own.
class EvtxChunkWriter {
 public:
  EvtxChunkWriter();

  std::uint32_t pos() const { return static_cast<std::uint32_t>(b_.size()); }
  void u8(unsigned v) { b_ += static_cast<char>(v); }
  void u16(unsigned v) { u8(v & 0xFF), u8(v >> 8 & 0xFF); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
  void u64(std::uint64_t v) { u32(static_cast<std::uint32_t>(v)), u32(v >> 32); }
  void raw(const std::string& bytes) { b_ += bytes; }
  void patch16(std::uint32_t at, std::uint32_t v);
  void patch32(std::uint32_t at, std::uint32_t v);

  // Tokens. Names are written in place, right after the offset that refers to them; elements
  // written without a template carry no dependency identifier.
  void open(const std::string& name, bool attributes = false, bool dependencyId = true);
  void attribute(const std::string& name);
  void closeStart();
  void closeEmpty();
  void end();
  void text(const std::string& ascii);
  void entity(const std::string& name);
  void sub(unsigned index, unsigned type, bool optional = false);
  void fragmentHeader();
  // <name>%index</name> of the given type.
  void element(const std::string& name, unsigned index, unsigned type);

  // A template instance with its definition written in place; returns the definition's offset.
  std::uint32_t defineTemplate(const std::function<void()>& tokens);
  // An instance of a definition written earlier in the chunk.
  void useTemplate(std::uint32_t definition);
  // The instance's values: count, descriptors, bytes.
  void values(const std::vector<EvtxValue>& v);

  // A record whose binary XML body writes (after the fragment header); the record's offset.
  std::uint32_t record(std::uint64_t number, const std::function<void()>& body);

  // The chunk, 64 KiB, with its header and both checksums.
  std::string finish() const;

 private:
  std::string b_;
  std::uint64_t first_ = 0, last_ = 0;
  std::uint32_t lastRecord_ = 0;
  // The open elements: where their data size and attribute list size (or 0) are written.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> open_;
};

// A file of the given chunks, with a header that counts them and its checksum.
std::string evtxFile(const std::vector<std::string>& chunks);

// An event as classic logs write it: <Event><System> with Provider (Name "Prov" and an optional
// EventSourceName, value 0), EventID with Qualifiers (1, 2), Level (3), Task (4), Keywords (5),
// TimeCreated (6), EventRecordID (7) </System> tail </Event>. Values from index 8 are tail's.
void writeSystemTemplate(EvtxChunkWriter& w, const std::function<void()>& tail);
// Values 0 to 7 for it: EventID 7036, TimeCreated created; source empty writes a null value.
std::vector<EvtxValue> systemValues(const std::string& source, std::uint64_t created,
                                    std::uint64_t recordId = 42);

// A record of that template, with a template of its own, whose EventData is one Data of value.
void writeValueRecord(EvtxChunkWriter& w, std::uint64_t number, const EvtxValue& value);

// 2012-03-14T04:17:43.3545627Z as a FILETIME.
constexpr std::uint64_t kWrittenCreated = 129761722633545627ULL;

// Written logs the tests share.
// Two records of one template: EventData of a string with an escape, a string array, an empty
// optional value, an entity and Binary; the second without EventSourceName.
std::string classicLog();
// One record of UserData whose value is binary XML nested levels deep.
std::string userDataLog(int levels);
// Records of every value type (each array type too) as EventData, one type a record, in the
// order of writtenValueTypes, which gives the texts each makes.
struct WrittenValue {
  unsigned type;
  std::string bytes;
  std::vector<std::string> texts;  // one per Data string
};
const std::vector<WrittenValue>& writtenValueTypes();
std::string valueTypesLog();
// count records, one an hour from kWrittenCreated, in chunks of perChunk records.
std::string hourlyLog(int count, int perChunk);

// Damage, as real files show it.
// The file cut after size bytes.
std::string cut(const std::string& file, std::size_t size);
// One byte changed (the checksums no longer match).
std::string withByte(const std::string& file, std::size_t at, char value);
// The size of the record at offset (in the file) changed at its start.
std::string withRecordSize(const std::string& file, std::size_t at, std::uint32_t size);

}  // namespace sccevtmon::testing
