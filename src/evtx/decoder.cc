#include <algorithm>
#include <bit>
#include <cstring>

#include "evtx/binxml.h"
#include "evtx/evtx.h"

namespace evtx {

static_assert(std::endian::native == std::endian::little,
              "the decoder reads the file's little-endian integers directly");

namespace {

constexpr std::uint32_t kRecordHeaderSize = 24;
// Where the chunk header keeps the first record number, the end of the records, and the
// records' checksum.
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

void Decoder::readChunk(std::span<const std::byte> chunk, RecordSink& sink, Summary* s) {
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
        if (size > limit - offset && limit == avail && avail < kChunkSize) {
          // A record cut off by the end of the file.
          ++s->records;
          ++s->skipped;
          break;
        }
        ++s->records;
        ++s->skipped;
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
    if (!state_->chunk.decodeRecord(offset + kRecordHeaderSize, offset + recordSize - 4, number,
                                    written, sink)) {
      ++s->skipped;
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
    if (need > 0) readChunk(bytes.subspan(at, std::min(need, bytes.size() - at)), sink, &s);
  }
  return s;
}

}  // namespace evtx
