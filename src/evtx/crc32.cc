#include <array>
#include <cstring>

#include "evtx/evtx.h"

namespace evtx {
namespace {

// Slicing by sixteen: table[k][b] is the CRC of byte b followed by k zero bytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr Tables makeTables() {
  Tables t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][b] = c;
  }
  for (std::uint32_t b = 0; b < 256; ++b) {
    for (int k = 1; k < 16; ++k) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = makeTables();

}  // namespace

std::uint32_t crc32(std::span<const std::byte> bytes, std::uint32_t crc) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  std::uint32_t c = ~crc;
  while (n >= 16) {
    std::uint32_t w[4];
    std::memcpy(w, p, 16);
    w[0] ^= c;
    c = kTables[15][w[0] & 0xFF] ^ kTables[14][(w[0] >> 8) & 0xFF] ^
        kTables[13][(w[0] >> 16) & 0xFF] ^ kTables[12][w[0] >> 24] ^ kTables[11][w[1] & 0xFF] ^
        kTables[10][(w[1] >> 8) & 0xFF] ^ kTables[9][(w[1] >> 16) & 0xFF] ^ kTables[8][w[1] >> 24] ^
        kTables[7][w[2] & 0xFF] ^ kTables[6][(w[2] >> 8) & 0xFF] ^ kTables[5][(w[2] >> 16) & 0xFF] ^
        kTables[4][w[2] >> 24] ^ kTables[3][w[3] & 0xFF] ^ kTables[2][(w[3] >> 8) & 0xFF] ^
        kTables[1][(w[3] >> 16) & 0xFF] ^ kTables[0][w[3] >> 24];
    p += 16;
    n -= 16;
  }
  while (n-- > 0) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

}  // namespace evtx
