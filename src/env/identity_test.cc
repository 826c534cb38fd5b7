#include "env/identity.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

const char* kKey32 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
const char* kKey64 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVEN";

class IdentityTest : public RunTest {};

TEST_F(IdentityTest, ReadsTheIdentityAndClosesTheKey) {
  installAgent();
  EXPECT_TRUE(fncGetRegInfo(rs, os, "SOFTWARE\\TORVEN"));
  EXPECT_EQ(rs.installPath, "/agent\\");
  EXPECT_EQ(rs.memberId, "11");
  EXPECT_EQ(rs.siteId, "22");
  EXPECT_EQ(rs.regId, "4711");
  EXPECT_EQ(rs.agentType, "3");
  EXPECT_EQ(rs.expectedChecksum, "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(fake.registry.openKeys(), 0);
  EXPECT_EQ(fake.registry.accessOf.begin()->second, kKeyRead);
}

TEST_F(IdentityTest, InstallationPathGetsOneTrailingBackslash) {
  struct Case {
    const char* stored;
    const char* result;
    bool complete;
  } cases[] = {
      {"C:\\Agent", "C:\\Agent\\", true},
      {"C:\\Agent\\", "C:\\Agent\\", true},
      {"C:\\Agent ", "C:\\Agent \\", true},
      {"", "", false},
      {"   ", "   ", false},
  };
  for (const Case& c : cases) {
    RunState state;
    installAgent();
    fake.registry.setString(kKey32, "InstallationPath", c.stored);
    EXPECT_EQ(fncGetRegInfo(state, os, "SOFTWARE\\TORVEN"), c.complete) << c.stored;
    EXPECT_EQ(state.installPath, c.result) << c.stored;
  }
}

TEST_F(IdentityTest, CompletenessNeedsNonZeroIds) {
  struct Case {
    const char* name;
    const char* value;
    bool complete;
  } cases[] = {{"REGID", "0", false},    {"REGID", "", false},  {"REGID", "abc", false},
               {"REGID", "12abc", true}, {"REGID", " 7", true}, {"MEMBERID", "0.0", false},
               {"SITEID", "x", false},   {"TYPE", "", true},    {"EVENT", "", true}};
  for (const Case& c : cases) {
    RunState state;
    installAgent();
    fake.registry.setString(kKey32, c.name, c.value);
    EXPECT_EQ(fncGetRegInfo(state, os, "SOFTWARE\\TORVEN"), c.complete) << c.name << c.value;
  }
}

TEST_F(IdentityTest, OnlyStringValuesAreRead) {
  installAgent();
  fake.registry.setValue(kKey32, "REGID", kRegExpandSz, std::string("4711\0", 5));
  fake.registry.setString(kKey32, "SITEID", std::string("22\0junk", 7));
  EXPECT_FALSE(fncGetRegInfo(rs, os, "SOFTWARE\\TORVEN"));
  EXPECT_EQ(rs.regId, "");
  EXPECT_EQ(rs.siteId, "22");
}

TEST_F(IdentityTest, MissingKeyLeavesTheIdentityAlone) {
  rs.regId = "before";
  EXPECT_FALSE(fncGetRegInfo(rs, os, "SOFTWARE\\TORVEN"));
  EXPECT_EQ(rs.regId, "before");
}

TEST_F(IdentityTest, ReadRegValueTriesTheSixtyFourBitViewFirst) {
  fake.registry.setString(kKey64, "InstallationPath", "/only64");
  fake.registry.setValue(kKey64, "Bits", kRegDword, "\xff\xff\xff\xff");
  fake.registry.setValue(kKey64, "Small", kRegDword, std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(
      fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "InstallationPath", 1),
      "/only64");
  EXPECT_EQ(fake.registry.openCount, 1);
  EXPECT_EQ(fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "Bits", 4), "-1");
  EXPECT_EQ(fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "Small", 4), "42");
  EXPECT_EQ(fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "Missing", 1), "");
  EXPECT_EQ(fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "Small", 3), "");
  EXPECT_EQ(fake.registry.openKeys(), 0);
  // The identity, read through the 32-bit view, does not see it.
  EXPECT_FALSE(fncGetRegInfo(rs, os, "SOFTWARE\\TORVEN"));
  EXPECT_EQ(rs.installPath, "");
}

TEST_F(IdentityTest, ReadRegValueFallsBackToTheOtherViews) {
  fake.registry.setString(kKey32, "InstallationPath", "/only32");
  EXPECT_EQ(
      fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "InstallationPath", 1),
      "/only32");
  EXPECT_EQ(fake.registry.openCount, 2);
  fake.registry.failOpen = kErrorAccessDenied;
  EXPECT_EQ(
      fncReadRegValue(os, RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", "InstallationPath", 1),
      "");
  EXPECT_EQ(fake.registry.openCount, 5);
}

TEST(SmallHelpersTest, StripAtNullAndFormatMessage) {
  EXPECT_EQ(fncStripAtNull(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(fncStripAtNull("abc"), "abc");
  EXPECT_EQ(fncStripAtNull(std::string("\0", 1)), "");
  FakePlatform fake;
  std::string text = fncFormatMessage(fake.platform, "2");
  std::string message = "The system cannot find the file specified.\r\n";
  EXPECT_EQ(text.size(), 200u);
  EXPECT_EQ(text.substr(0, message.size() + 1), message + '\0');
  EXPECT_EQ(text.substr(message.size() + 1), std::string(200 - message.size() - 1, ' '));
  // Codes wider than 32 bits have no message (and must not overflow Windows' 32-bit long).
  EXPECT_EQ(fncFormatMessage(fake.platform, "4294967298"), std::string(200, ' '));
  EXPECT_EQ(fncFormatMessage(fake.platform, "-4294967294"), std::string(200, ' '));
}

}  // namespace
}  // namespace sccevtmon
