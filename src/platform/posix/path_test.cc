#include "platform/posix/path.h"

#include <gtest/gtest.h>

namespace sccevtmon {
namespace {

TEST(PathTest, MapsBackslashesAndCollapsesSeparators) {
  EXPECT_EQ(toPosixPath("/opt/torven\\\\SCCPostLogs\\a.xml"), "/opt/torven/SCCPostLogs/a.xml");
  EXPECT_EQ(toPosixPath("\\Configuration\\qScriptDNS.ini"), "/Configuration/qScriptDNS.ini");
  EXPECT_EQ(toPosixPath("a//b"), "a/b");
  EXPECT_EQ(toPosixPath("C:Agent"), "C:Agent");
}

}  // namespace
}  // namespace sccevtmon
