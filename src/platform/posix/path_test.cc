#include "platform/posix/path.h"

#include <gtest/gtest.h>

#include "platform/posix/file_system.h"

namespace sccevtmon {
namespace {

TEST(PathTest, MapsBackslashesAndCollapsesSeparators) {
  EXPECT_EQ(toPosixPath("/opt/torven\\\\SCCPostLogs\\a.xml"), "/opt/torven/SCCPostLogs/a.xml");
  EXPECT_EQ(toPosixPath("\\Configuration\\qScriptDNS.ini"), "/Configuration/qScriptDNS.ini");
  EXPECT_EQ(toPosixPath("a//b"), "a/b");
  EXPECT_EQ(toPosixPath("C:Agent"), "C:Agent");
  EXPECT_EQ(PosixFileSystem().nativePath("/opt/torven\\qSCC\\"), "/opt/torven/qSCC");
}

}  // namespace
}  // namespace sccevtmon
