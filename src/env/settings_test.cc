#include "env/settings.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
const char* kSection = "wpdcmscctmpevtlgfail";

class SettingsTest : public RunTest {
 protected:
  void SetUp() override {
    installAgent();
    fake.files.addFolder("/agent/Configuration");
  }
  void settings(const std::string& content) { fake.files.addFile(kSettings, content); }
};

TEST_F(SettingsTest, GetIniStringKeepsTheValueAsReadAndCutsItAt554) {
  settings("[s]\r\na=\"  spaced  \"\r\nlong=" + std::string(600, 'x') + "\r\n");
  std::string value = "old";
  EXPECT_EQ(fncGetIniString(os, value, "s", "a", kSettings), 10);
  EXPECT_EQ(value, "  spaced  ");
  EXPECT_EQ(fncGetIniString(os, value, "S", "LONG", kSettings), 554);
  EXPECT_EQ(value, std::string(554, 'x'));
  EXPECT_EQ(fncGetIniString(os, value, "s", "missing", kSettings), 0);
  EXPECT_EQ(value, "");
  EXPECT_EQ(fncGetIniString(os, value, "s", "a", "/agent\\nothing.ini"), 0);
  EXPECT_EQ(value, "");
}

TEST_F(SettingsTest, ReadIniValueTrimsAndCutsAt4999) {
  settings("[s]\r\na=\"  spaced  \"\r\nblank=\"   \"\r\nlong=" + std::string(6000, 'y') + "\r\n");
  EXPECT_EQ(fncReadIniValue(os, "s", "a", kSettings), "spaced");
  EXPECT_EQ(fncReadIniValue(os, "s", "blank", kSettings), "");
  EXPECT_EQ(fncReadIniValue(os, "s", "long", kSettings), std::string(4999, 'y'));
  EXPECT_EQ(fncReadIniValue(os, "s", "missing", kSettings), "");
  EXPECT_EQ(fncReadIniValue(os, "s", "a", "/agent\\nothing.ini"), "");
}

TEST_F(SettingsTest, WriteIniValueReportsSuccessAsNonZero) {
  EXPECT_NE(fncWriteIniValue(os, kSettings, "s", "k", "v"), 0);
  EXPECT_EQ(fake.files.content(kSettings), "[s]\r\nk=v\r\n");
  EXPECT_EQ(fncWriteIniValue(os, "/agent\\missing\\x.ini", "s", "k", "v"), 0);
  fake.profile.failWrite = Status{kErrorAccessDenied, "Access is denied."};
  EXPECT_EQ(fncWriteIniValue(os, kSettings, "s", "k", "w"), 0);
  EXPECT_EQ(fake.files.content(kSettings), "[s]\r\nk=v\r\n");
}

TEST_F(SettingsTest, ServerUrlEndsWithOneSlash) {
  struct Case {
    const char* stored;
    const char* url;
  } cases[] = {
      {"http://srv/pages", "http://srv/pages/"},
      {"http://srv/pages/", "http://srv/pages/"},
      {"  http://srv/pages  ", "http://srv/pages/"},
      {"\"   \"", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    settings(std::string("[wpdcmscctmpevtlgfail]\r\nURL=") + c.stored + "\r\n");
    EXPECT_EQ(fncGetServerURL(os, kSection, ""), c.url) << c.stored;
  }
  EXPECT_EQ(fake.profile.writeCount, 0);
}

TEST_F(SettingsTest, ServerUrlWritesADefaultBackWithoutTheSlash) {
  settings("[wpdcmscctmpevtlgfail]\r\nURL=\"  \"\r\n");
  EXPECT_EQ(fncGetServerURL(os, kSection, "http://default/x"), "http://default/x/");
  EXPECT_EQ(fake.files.content(kSettings), "[wpdcmscctmpevtlgfail]\r\nURL=http://default/x\r\n");
  // A configured value wins over the default and is not rewritten.
  EXPECT_EQ(fncGetServerURL(os, kSection, "http://other/"), "http://default/x/");
  EXPECT_EQ(fake.profile.writeCount, 1);
}

TEST_F(SettingsTest, ServerUrlFindsTheInstallationInTheRegistryAnew) {
  // Not from the run state: an installation path set there is not looked at.
  rs.installPath = "/elsewhere\\";
  settings("[wpdcmscctmpevtlgfail]\r\nURL=http://agent/\r\n");
  EXPECT_EQ(fncGetServerURL(os, kSection, ""), "http://agent/");

  // Without an installation path the file is looked for in the root folder.
  fake.registry.setString(kKey, "InstallationPath", "");
  fake.files.addFile("\\Configuration\\qScriptDNS.ini",
                     "[wpdcmscctmpevtlgfail]\r\nURL=http://root\r\n");
  EXPECT_EQ(fncGetServerURL(os, kSection, ""), "http://root/");
}

TEST(ProfileValueTest, ReadsTextThroughA255CharacterBufferOrAnInteger) {
  FakePlatform fake;
  fake.files.addFile("f.ini", "[S]\r\nText=  some value  \r\nLong=" + std::string(300, 'x') +
                                  "\r\nNumber=42abc\r\n");
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Text", "f.ini", 0), "some value");
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Long", "f.ini", 0), std::string(254, 'x'));
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Missing", "f.ini", 0), "");
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Text", "none.ini", 0), "");
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Number", "f.ini", 1), "42");
  EXPECT_EQ(fncGetProfileValue(fake.platform, "S", "Missing", "f.ini", -1), "0");
}

}  // namespace
}  // namespace sccevtmon
