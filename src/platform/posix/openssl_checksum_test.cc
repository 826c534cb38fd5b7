#include "platform/posix/openssl_checksum.h"

#include <gtest/gtest.h>

namespace sccevtmon {
namespace {

// The digests: checksum_library_test.cc, shared with the Windows build.
TEST(OpenSslChecksumBlockTest, ClampsTheBlockSizeAndDefaultsTo64Kilobytes) {
  struct Case {
    const char* text;
    std::size_t kilobytes;
  } cases[] = {{"64", 64},
               {" 128", 128},
               {"1", 1},
               {"0", 1},
               {"65536", 65536},
               {"65537", 65536},
               {"99999999999999999999", 65536},
               {"", 64},
               {"abc", 64},
               {"32KB", 32},
               {"1.5", 1},
               {"-5", 1},
               {"-", 64}};
  for (const Case& c : cases) {
    EXPECT_EQ(OpenSslChecksum::blockBytes(c.text), c.kilobytes * 1024) << c.text;
  }
}

}  // namespace
}  // namespace sccevtmon
