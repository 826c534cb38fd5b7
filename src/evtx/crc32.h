#pragma once

// The two ways crc32() (evtx.h) computes its checksum, open to the tests: the folded one must
// give the portable one's result for every length and alignment.

#include <cstddef>
#include <cstdint>
#include <span>

namespace evtx::detail {

// The CRC-32 by table lookups alone (sixteen bytes a step): the fallback on a processor without
// carry-less multiplication, and the reference the folded version is tested against.
std::uint32_t crc32Portable(std::span<const std::byte> bytes, std::uint32_t crc = 0);

// Whether crc32() folds with carry-less multiplication on this processor (x86 with PCLMULQDQ
// and SSE4.1); otherwise it is crc32Portable.
bool crc32Folds();

}  // namespace evtx::detail
