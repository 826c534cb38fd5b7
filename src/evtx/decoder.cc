#include <bit>
#include <cstring>

#include "evtx/binxml.h"
#include "evtx/evtx.h"

namespace evtx {

static_assert(std::endian::native == std::endian::little,
              "the decoder reads the file's little-endian integers directly");

namespace {

constexpr std::uint32_t kFileHeaderSize = 4096;
constexpr std::uint32_t kChunkSize = 65536;
constexpr std::uint32_t kChunkHeaderSize = 512;  // header and the string and template tables
constexpr std::uint32_t kRecordHeaderSize = 24;

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

Summary Decoder::read(std::span<const std::byte> bytes, RecordSink& sink) {
  Summary s;
  const auto* file = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  if (size < 128 || std::memcmp(file, "ElfFile\0", 8) != 0) {
    s.error = size < 128 ? "the file is too small for an event log" : "no event log signature";
    return s;
  }
  s.isEventLog = true;
  // Every chunk the file holds is read, whatever its header says: a log that was not closed
  // cleanly has a stale header.
  for (std::size_t at = kFileHeaderSize; at < size && size - at >= kChunkHeaderSize;
       at += kChunkSize) {
    const unsigned char* c = file + at;
    std::uint32_t avail = static_cast<std::uint32_t>(std::min<std::size_t>(kChunkSize, size - at));
    if (std::memcmp(c, "ElfChnk\0", 8) != 0) continue;  // unused or overwritten
    ++s.chunks;
    std::uint32_t headerCrc = crc32(span(c + 128, kChunkHeaderSize - 128), crc32(span(c, 120)));
    bool headerOk = headerCrc == load<std::uint32_t>(c + 124);
    std::uint32_t freeOffset = load<std::uint32_t>(c + 48);
    bool dataOk = headerOk && freeOffset >= kChunkHeaderSize && freeOffset <= avail &&
                  crc32(span(c + kChunkHeaderSize, freeOffset - kChunkHeaderSize)) ==
                      load<std::uint32_t>(c + 52);
    if (!dataOk) ++s.damagedChunks;
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
            ++s.records;
            ++s.skipped;
            break;
          }
          ++s.records;
          ++s.skipped;
        }
        // A frame found by searching must also carry a number of the chunk's range.
        std::uint64_t first = load<std::uint64_t>(c + 8), last = load<std::uint64_t>(c + 16);
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
      ++s.records;
      std::uint64_t number = load<std::uint64_t>(c + offset + 8);
      std::uint64_t written = load<std::uint64_t>(c + offset + 16);
      if (!state_->chunk.decodeRecord(offset + kRecordHeaderSize, offset + recordSize - 4, number,
                                      written, sink)) {
        ++s.skipped;
      }
      offset += recordSize;
    }
  }
  return s;
}

}  // namespace evtx
