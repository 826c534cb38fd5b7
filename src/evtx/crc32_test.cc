// crc32() against the table-driven CRC and the standard's check value, at the lengths and
// alignments where folding hands over to the tables.

#include "evtx/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evtx/evtx.h"

namespace evtx {
namespace {

std::span<const std::byte> bytesOf(const std::string& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(EvtxCrc32Test, CheckValueOfBothWays) {
  EXPECT_EQ(crc32(bytesOf("123456789")), 0xCBF43926u);
  EXPECT_EQ(detail::crc32Portable(bytesOf("123456789")), 0xCBF43926u);
  EXPECT_EQ(crc32({}), 0u);
  // A chunk's header sum continues over two pieces.
  EXPECT_EQ(crc32(bytesOf("56789"), crc32(bytesOf("1234"))), 0xCBF43926u);
}

TEST(EvtxCrc32Test, FoldedEqualsPortableAtEveryLengthAndOffset) {
  if (!detail::crc32Folds()) GTEST_SKIP() << "this processor has no carry-less multiplication";
  // Bytes no short period repeats in, so a misplaced block changes the sum.
  std::vector<std::byte> data(65536 + 64);
  std::uint32_t x = 0x12345678;
  for (std::byte& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::byte>(x >> 23);
  }
  const std::size_t lengths[] = {0,   1,    15,   16,   17,   31,    47,    63,   64,
                                 65,  79,   80,   127,  128,  129,   255,   256,  511,
                                 512, 1000, 4095, 4096, 4097, 65024, 65535, 65536};
  const std::size_t offsets[] = {0, 1, 3, 7, 8, 15, 16, 33, 63};
  for (std::size_t length : lengths) {
    for (std::size_t offset : offsets) {
      if (offset + length > data.size()) continue;
      std::span<const std::byte> piece(data.data() + offset, length);
      for (std::uint32_t start : {0u, 0xFFFFFFFFu, 0x9E3779B9u}) {
        EXPECT_EQ(crc32(piece, start), detail::crc32Portable(piece, start))
            << "length " << length << ", offset " << offset << ", from " << start;
      }
    }
  }
}

}  // namespace
}  // namespace evtx
