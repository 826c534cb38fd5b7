#include "evtx/crc32.h"

#include <array>
#include <cstring>

#include "evtx/evtx.h"

// Folding needs GCC's or Clang's x86 intrinsics and their processor check; other compilers and
// processors take the tables.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define EVTX_CRC32_FOLDING 1
#include <immintrin.h>
#else
#define EVTX_CRC32_FOLDING 0
#endif

namespace evtx {
namespace {

// The polynomial in its normal form, x^32 included.
constexpr std::uint64_t kPolynomial = 0x104C11DB7;

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

// Continues the running (inverted) value c over n bytes.
std::uint32_t tableCrc(const unsigned char* p, std::size_t n, std::uint32_t c) {
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
  return c;
}

#if EVTX_CRC32_FOLDING

// The constants of folding (Intel's "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ"), worked out here from the polynomial rather than copied: the CRC is bit-reflected,
// so each is reflected, and shifted left by one because the carry-less product of two reflected
// values comes out one bit short.
constexpr std::uint64_t reflect(std::uint64_t v, int bits) {
  std::uint64_t r = 0;
  for (int i = 0; i < bits; ++i) r |= ((v >> i) & 1) << (bits - 1 - i);
  return r;
}

// x^n mod P, reflected and shifted: multiplying by it moves a value n bits further on.
constexpr std::uint64_t foldConstant(int n) {
  std::uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (std::uint64_t{1} << 32)) r ^= kPolynomial;
  }
  return reflect(r, 32) << 1;
}

// The quotient x^64 / P, reflected over its 33 bits: Barrett's reduction multiplies by it.
constexpr std::uint64_t barrettQuotient() {
  std::uint64_t q = 0;
  // x^64 does not fit; its first step of the long division is taken by hand.
  std::uint64_t rest = (kPolynomial ^ (std::uint64_t{1} << 32)) << 32;  // x^64 - x^32 * P
  q |= std::uint64_t{1} << 32;
  for (int bit = 31; bit >= 0; --bit) {
    if (rest & (std::uint64_t{1} << (bit + 32))) {
      rest ^= kPolynomial << bit;
      q |= std::uint64_t{1} << bit;
    }
  }
  return reflect(q, 33);
}

constexpr std::uint64_t kFold512Low = foldConstant(4 * 128 + 32);
constexpr std::uint64_t kFold512High = foldConstant(4 * 128 - 32);
constexpr std::uint64_t kFold128Low = foldConstant(128 + 32);
constexpr std::uint64_t kFold128High = foldConstant(128 - 32);
constexpr std::uint64_t kFold64 = foldConstant(64);
constexpr std::uint64_t kBarrettQuotient = barrettQuotient();
constexpr std::uint64_t kReflectedPolynomial = reflect(kPolynomial, 33);
static_assert(kFold512Low == 0x154442BD4 && kFold128High == 0x0CCAA009E);
static_assert(kBarrettQuotient == 0x1F7011641 && kReflectedPolynomial == 0x1DB710641);

#define EVTX_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

// acc moved on by the distance k stands for, added to next: the low half times k's low
// constant, the high half times its high one.
EVTX_FOLDING_TARGET inline __m128i fold(__m128i acc, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(acc, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

EVTX_FOLDING_TARGET inline __m128i load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Continues the running (inverted) value c over n bytes, n a multiple of 16 and at least 64:
// four 16-byte lanes are folded 64 bytes at a time, then into one, then reduced to 32 bits.
EVTX_FOLDING_TARGET std::uint32_t foldedCrc(const unsigned char* p, std::size_t n,
                                            std::uint32_t c) {
  const __m128i k512 =
      _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
  const __m128i k128 =
      _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x1 = load(p + 16);
  __m128i x2 = load(p + 32);
  __m128i x3 = load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x0 = fold(x0, k512, load(p));
    x1 = fold(x1, k512, load(p + 16));
    x2 = fold(x2, k512, load(p + 32));
    x3 = fold(x3, k512, load(p + 48));
  }
  x0 = fold(x0, k128, x1);
  x0 = fold(x0, k128, x2);
  x0 = fold(x0, k128, x3);
  for (; n >= 16; p += 16, n -= 16) x0 = fold(x0, k128, load(p));

  // 128 bits to 96: the low half moved on by 64 bits onto the high half.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), _mm_clmulepi64_si128(x0, k128, 0x10));
  // 96 bits to 64: the low 32 bits moved on by 32 onto the rest.
  const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(kFold64));
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 4),
                     _mm_clmulepi64_si128(_mm_and_si128(x0, low32), k64, 0x00));
  // Barrett's reduction of the 64 bits left to the 32-bit remainder.
  const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kBarrettQuotient),
                                         static_cast<long long>(kReflectedPolynomial));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

#endif

}  // namespace

namespace detail {

std::uint32_t crc32Portable(std::span<const std::byte> bytes, std::uint32_t crc) {
  return ~tableCrc(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), ~crc);
}

bool crc32Folds() {
#if EVTX_CRC32_FOLDING
  static const bool folds = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return folds;
#else
  return false;
#endif
}

}  // namespace detail

std::uint32_t crc32(std::span<const std::byte> bytes, std::uint32_t crc) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  std::uint32_t c = ~crc;
#if EVTX_CRC32_FOLDING
  if (n >= 64 && detail::crc32Folds()) {
    std::size_t folded = n & ~std::size_t{15};
    c = foldedCrc(p, folded, c);
    p += folded;
    n -= folded;
  }
#endif
  return ~tableCrc(p, n, c);
}

}  // namespace evtx
