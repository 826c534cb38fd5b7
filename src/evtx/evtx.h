#pragma once

// A decoder of .evtx event-log files. It works on the bytes of a whole file that the caller
// has read; it makes no system call and reads nothing outside the bytes it is given.
//
// The file is walked chunk by chunk (every 64 KiB chunk actually present, whatever the file
// header says); each chunk's templates are compiled once into a map from substitution to the
// columns an event log monitor needs, so that a record is decoded by reading only its
// substitution values. Texts come out as UTF-8, rendered as the event's XML would show them,
// with XML escapes resolved.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace evtx {

// A text field of an event: absent when the event has no such element or attribute.
struct Field {
  std::string_view text;
  bool present = false;
};

// System/TimeCreated/@SystemTime of a record, before any text is made.
struct CreationTime {
  enum class Kind : std::uint8_t {
    kAbsent,    // the event has none
    kFileTime,  // fileTime holds it (a FILETIME value, 100 ns units since 1601-01-01 UTC)
    kOther,     // another value type or literal text: ask Event::systemTime for its text
  };
  Kind kind = Kind::kAbsent;
  std::uint64_t fileTime = 0;
};

// Where an event's insertion strings come from.
enum class DataSource : std::uint8_t { kNone, kEventData, kUserData };

// The fields of one event. Every view stays valid until the callback that received it returns.
struct Event {
  std::uint64_t recordNumber = 0;  // from the record header
  std::uint64_t writtenTime = 0;   // FILETIME from the record header
  Field systemTime;                // TimeCreated/@SystemTime
  Field eventId;
  Field qualifiers;  // EventID/@Qualifiers
  Field level;
  Field task;
  Field keywords;
  Field providerName;     // Provider/@Name
  Field eventSourceName;  // Provider/@EventSourceName
  Field eventRecordId;
  Field renderedTask;     // RenderingInfo/Task, in events exported with their texts
  Field renderedMessage;  // RenderingInfo/Message
  DataSource source = DataSource::kNone;
  // EventData: the text of each Data element in order (a value array gives one per element;
  // Binary and other elements left out, empty values kept). UserData: the texts of its leaf
  // elements in document order.
  std::span<const std::string_view> strings;
};

// What a read found.
struct Summary {
  bool isEventLog = false;  // false: the bytes are not an event log file (see error)
  std::string error;
  long records = 0;        // records found in the chunks, decodable or not
  long skipped = 0;        // records that could not be decoded
  long chunks = 0;         // chunks read
  long damagedChunks = 0;  // chunks whose header or records checksum did not match
};

// The parts of an Event a sink asks for (a part not asked for is left empty and absent).
enum Parts : std::uint32_t {
  kSystemTime = 1u << 0,
  kEventId = 1u << 1,
  kQualifiers = 1u << 2,
  kLevel = 1u << 3,
  kTask = 1u << 4,
  kKeywords = 1u << 5,
  kProviderName = 1u << 6,
  kEventSourceName = 1u << 7,
  kEventRecordId = 1u << 8,
  kRenderedTask = 1u << 9,
  kRenderedMessage = 1u << 10,
  kStrings = 1u << 11,
  kAllParts = (1u << 12) - 1,
};

// Receives the records of a file in file order.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Called once per decodable record with its creation time: the parts of the event to make
  // (Parts), or 0 to drop the record before any of its text is made.
  virtual std::uint32_t wanted(std::uint64_t recordNumber, const CreationTime& created) = 0;
  // The fields of a wanted record.
  virtual void take(const Event& event) = 0;
};

// The file's layout: a header, then chunks of a fixed size, each starting with its header
// (which holds the chunk's string and template tables).
inline constexpr std::size_t kFileHeaderSize = 4096;
inline constexpr std::size_t kChunkSize = 65536;
inline constexpr std::size_t kChunkHeaderSize = 512;

class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // A file can be decoded a chunk at a time, without holding it whole: checkFileHeader over
  // its first bytes, then for each chunk slot (at kFileHeaderSize + n * kChunkSize, while at
  // least kChunkHeaderSize bytes remain) chunkBytesNeeded over the slot's first
  // kChunkHeaderSize bytes, and readChunk over that many bytes of the slot (fewer when the
  // file ends inside it). read() does exactly that over bytes in memory.

  // Whether header (the file's first bytes, at least 128 of them for a log) starts an event
  // log; if not, s->error says why. Sets s->isEventLog.
  static bool checkFileHeader(std::span<const std::byte> header, Summary* s);
  // How many bytes of a chunk slot readChunk needs, judged from its first kChunkHeaderSize
  // bytes: 0 for a slot that holds no chunk (passed over, not counted), kChunkHeaderSize for a
  // chunk whose header says it holds no record, else kChunkSize. Empty and unused slots, such
  // as the holes of a sparse file, cost one header read each.
  static std::size_t chunkBytesNeeded(std::span<const std::byte> header);
  // Decodes the records of one chunk (its bytes from the slot's start: the whole chunk, what
  // the file holds of it, or only its header when chunkBytesNeeded said so), counting into s.
  // The bytes must stay valid until the call returns; nothing of them is kept.
  void readChunk(std::span<const std::byte> chunk, RecordSink& sink, Summary* s);

  // Decodes every record of the file held in bytes. The decoder keeps its buffers from one
  // call to the next.
  //
  // Damage: a slot without a chunk signature is passed over. A chunk whose header or records
  // checksum fails is still read, since a damaged chunk mostly holds good records: each record
  // whose frame (signature, size, size repeated at its end) is whole is decoded, and is kept
  // when its binary XML decodes; a broken frame is counted as skipped and the next frame with a
  // record number of the chunk's range is searched for. A chunk cut off by the end of the file
  // gives the records wholly inside it. A record that does not decode is counted as skipped.
  // (A changed byte inside a text value that leaves the structure whole cannot be told from
  // the real text: the checksum is the only witness, and damagedChunks counts it.)
  Summary read(std::span<const std::byte> bytes, RecordSink& sink);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// CRC-32 (IEEE 802.3, as zlib computes it) of bytes, continuing from crc.
std::uint32_t crc32(std::span<const std::byte> bytes, std::uint32_t crc = 0);

}  // namespace evtx
