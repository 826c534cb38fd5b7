#include "evtx/evtx.h"

#include <gtest/gtest.h>

namespace evtx {
namespace {

TEST(Crc32Test, MatchesTheIeeeCheckValue) {
  std::string_view text = "123456789";
  EXPECT_EQ(crc32(std::as_bytes(std::span(text.data(), text.size()))), 0xCBF43926u);
}

}  // namespace
}  // namespace evtx
