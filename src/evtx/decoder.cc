#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <iterator>

#include "evtx/binxml.h"
#include "evtx/evtx.h"

namespace evtx {

static_assert(std::endian::native == std::endian::little,
              "the decoder reads the file's little-endian integers directly");

namespace {

// "Event record" of the public "Windows XML Event Log (EVTX) format" description: signature,
// size, record number, written time; the binary XML; the size again.
constexpr std::uint32_t kRecordHeaderSize = 24;
constexpr std::uint32_t kRecordNumberAt = 8;
// "Chunk header" of that description: where it keeps the first record number, the end of the
// records, and the records' checksum.
constexpr std::size_t kChunkFirstRecord = 8;
constexpr std::size_t kChunkLastRecord = 16;
constexpr std::size_t kChunkFreeOffset = 48;
constexpr std::size_t kChunkRecordsCrc = 52;
constexpr std::size_t kChunkHeaderCrc = 124;

template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::span<const std::byte> span(const unsigned char* p, std::size_t n) {
  return {reinterpret_cast<const std::byte*>(p), n};
}

// A record's frame at offset of a chunk holding avail bytes: signature, a size that fits and
// the size repeated at its end.
bool isRecordFrame(const unsigned char* c, std::uint32_t offset, std::uint32_t limit) {
  if (limit - offset < kRecordHeaderSize + 4) return false;
  if (std::memcmp(c + offset, "\x2a\x2a\x00\x00", 4) != 0) return false;
  std::uint32_t size = load<std::uint32_t>(c + offset + 4);
  if (size < kRecordHeaderSize + 4 || size > limit - offset) return false;
  return load<std::uint32_t>(c + offset + size - 4) == size;
}

// The texts of Reason, in its order.
constexpr std::string_view kReasonTexts[] = {
    "record cut off by the end of the file",
    "broken record frame in a damaged chunk",
    "binary XML reaches outside its record or chunk",
    "binary XML token out of place",
    "template that does not decode",
    "binary XML nested too deep",
    "record is no Event element",
    "value that has no text",
    "substitution length does not suit its type",
};
static_assert(std::size(kReasonTexts) == static_cast<std::size_t>(Reason::kCount));

}  // namespace

std::string_view describe(Reason reason) { return kReasonTexts[static_cast<int>(reason)]; }

void Summary::note(const Place& place) {
  ++byReason[static_cast<int>(place.reason)];
  ++(place.reason == Reason::kValueLength ? repaired : skipped);
  if (places.size() < kMaxPlaces) places.push_back(place);
}

std::string Summary::line(const Place& place) {
  char offset[24];
  char* end = std::to_chars(offset, offset + sizeof offset, place.offset, 16).ptr;
  std::string text = std::string(describe(place.reason)) + " (chunk " + std::to_string(place.chunk);
  if (place.record != 0) text += ", record " + std::to_string(place.record);
  return text + ", offset 0x" + std::string(offset, end) + ")";
}

namespace {

// A place in the chunk at file offset at.
Place placeOf(Reason reason, std::uint64_t at, const unsigned char* c, std::uint32_t offset,
              std::uint32_t limit) {
  Place p;
  p.reason = reason;
  p.chunk = at >= kFileHeaderSize ? (at - kFileHeaderSize) / kChunkSize : 0;
  p.offset = at + offset;
  if (limit - offset >= kRecordNumberAt + 8) {
    p.record = load<std::uint64_t>(c + offset + kRecordNumberAt);
  }
  return p;
}

}  // namespace

struct Decoder::State {
  detail::Chunk chunk;
};

Decoder::Decoder() : state_(std::make_unique<State>()) {}
Decoder::~Decoder() = default;

bool Decoder::checkFileHeader(std::span<const std::byte> header, Summary* s) {
  const auto* file = reinterpret_cast<const unsigned char*>(header.data());
  s->isEventLog = false;
  if (header.size() < 128) {
    s->error = "the file is too small for an event log";
  } else if (std::memcmp(file, "ElfFile\0", 8) != 0) {
    s->error = "no event log signature";
  } else {
    s->isEventLog = true;
  }
  return s->isEventLog;
}

std::size_t Decoder::chunkBytesNeeded(std::span<const std::byte> header) {
  const auto* c = reinterpret_cast<const unsigned char*>(header.data());
  if (header.size() < kChunkHeaderSize || std::memcmp(c, "ElfChnk\0", 8) != 0) return 0;
  // A chunk whose records end where they begin has none, whether or not its header is whole:
  // readChunk then stops at the header.
  return load<std::uint32_t>(c + kChunkFreeOffset) == kChunkHeaderSize ? kChunkHeaderSize
                                                                       : kChunkSize;
}

void Decoder::readChunk(std::span<const std::byte> chunk, std::uint64_t at, RecordSink& sink,
                        Summary* s) {
  const auto* c = reinterpret_cast<const unsigned char*>(chunk.data());
  if (chunk.size() < kChunkHeaderSize || std::memcmp(c, "ElfChnk\0", 8) != 0) return;
  auto avail = static_cast<std::uint32_t>(std::min(kChunkSize, chunk.size()));
  ++s->chunks;
  std::uint32_t headerCrc = crc32(span(c + 128, kChunkHeaderSize - 128), crc32(span(c, 120)));
  bool headerOk = headerCrc == load<std::uint32_t>(c + kChunkHeaderCrc);
  std::uint32_t freeOffset = load<std::uint32_t>(c + kChunkFreeOffset);
  bool dataOk = headerOk && freeOffset >= kChunkHeaderSize && freeOffset <= avail &&
                crc32(span(c + kChunkHeaderSize, freeOffset - kChunkHeaderSize)) ==
                    load<std::uint32_t>(c + kChunkRecordsCrc);
  if (!dataOk) ++s->damagedChunks;
  // The records end at the free space (also taken from a header whose checksum failed, when
  // it is plausible: what lies beyond it is the slack of earlier records), or where the file
  // ends inside the chunk.
  std::uint32_t limit = avail;
  if (freeOffset >= kChunkHeaderSize && freeOffset <= kChunkSize) {
    limit = std::min(freeOffset, avail);
  }
  state_->chunk.reset(c, avail);
  std::uint32_t offset = kChunkHeaderSize;
  while (limit - offset >= kRecordHeaderSize + 4) {
    if (!isRecordFrame(c, offset, limit)) {
      if (dataOk) break;
      // In a damaged chunk, a broken frame is counted and the next good one sought.
      if (std::memcmp(c + offset, "\x2a\x2a\x00\x00", 4) == 0) {
        std::uint32_t size = load<std::uint32_t>(c + offset + 4);
        ++s->records;
        if (size > limit - offset && limit == avail && avail < kChunkSize) {
          // A record cut off by the end of the file.
          s->note(placeOf(Reason::kCutOff, at, c, offset, limit));
          break;
        }
        s->note(placeOf(Reason::kBrokenFrame, at, c, offset, limit));
      }
      // A frame found by searching must also carry a number of the chunk's range.
      std::uint64_t first = load<std::uint64_t>(c + kChunkFirstRecord);
      std::uint64_t last = load<std::uint64_t>(c + kChunkLastRecord);
      auto inRange = [&](std::uint32_t at) {
        std::uint64_t n = load<std::uint64_t>(c + at + 8);
        return !headerOk || (n >= first && n <= last);
      };
      std::uint32_t next = offset + 8;
      while (limit - next >= kRecordHeaderSize + 4 &&
             !(isRecordFrame(c, next, limit) && inRange(next))) {
        next += 8;
      }
      offset = next;
      continue;
    }
    std::uint32_t recordSize = load<std::uint32_t>(c + offset + 4);
    ++s->records;
    std::uint64_t number = load<std::uint64_t>(c + offset + 8);
    std::uint64_t written = load<std::uint64_t>(c + offset + 16);
    switch (state_->chunk.decodeRecord(offset + kRecordHeaderSize, offset + recordSize - 4, number,
                                       written, sink)) {
      case detail::Chunk::Outcome::kKept:
        break;
      case detail::Chunk::Outcome::kRepaired:
        s->note(placeOf(Reason::kValueLength, at, c, offset, limit));
        break;
      case detail::Chunk::Outcome::kSkipped:
        s->note(placeOf(state_->chunk.reason(), at, c, offset, limit));
        break;
    }
    offset += recordSize;
  }
  // The chunk's bytes belong to the caller.
  state_->chunk.reset(nullptr, 0);
}

Summary Decoder::read(std::span<const std::byte> bytes, RecordSink& sink) {
  Summary s;
  if (!checkFileHeader(bytes, &s)) return s;
  // Every chunk the file holds is read, whatever its header says: a log that was not closed
  // cleanly has a stale header.
  for (std::size_t at = kFileHeaderSize; at < bytes.size() && bytes.size() - at >= kChunkHeaderSize;
       at += kChunkSize) {
    std::size_t need = chunkBytesNeeded(bytes.subspan(at, kChunkHeaderSize));
    if (need > 0) readChunk(bytes.subspan(at, std::min(need, bytes.size() - at)), at, sink, &s);
  }
  return s;
}

}  // namespace evtx
