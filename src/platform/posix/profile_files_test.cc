#include "platform/posix/profile_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

class ProfileFilesTest : public ::testing::Test {
 protected:
  TempFolder folder;
  PosixProfileFiles profile;

  std::string get(const std::string& file, const std::string& section, const std::string& key,
                  size_t size = 100, const std::string& def = "<default>") {
    std::string buffer(size, '#');
    std::uint32_t n = profile.getString(section, key, def, buffer, folder.file(file));
    EXPECT_EQ(buffer[n], '\0');
    return buffer.substr(0, n);
  }
};

TEST_F(ProfileFilesTest, ReadRules) {
  folder.write("a.ini",
               "; comment\r\n"
               "[ Threshold ]\r\n"
               "  EventDetails =  75  \r\n"
               "eventdetails=99\r\n"
               "Double=\"  quoted  \"\r\n"
               "Single='x'\r\n"
               "Mismatched=\"x'\r\n"
               "Tabbed=\tvalue\t\r\n"
               "Empty=\r\n"
               "NoEquals\r\n"
               "[Other]\r\n"
               "Key=other\r\n");
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"threshold", "EVENTDETAILS", "75"},    // case-insensitive, first of two wins, blanks off
      {"Threshold", "Double", "  quoted  "},  // quotes removed, inside kept
      {"Threshold", "Single", "x"},           {"Threshold", "Mismatched", "\"x'"},
      {"Threshold", "Tabbed", "value"},       {"Threshold", "Empty", ""},
      {"Threshold", "NoEquals", "<default>"}, {"Threshold", "Key", "<default>"},
      {"Missing", "Key", "<default>"},        {"Other", "Key", "other"},
  };
  for (const Case& c : cases) EXPECT_EQ(get("a.ini", c.section, c.key), c.value) << c.key;
  EXPECT_EQ(get("none.ini", "Threshold", "EventDetails"), "<default>");
  EXPECT_EQ(profile.getInt("Threshold", "EventDetails", -1, folder.file("a.ini")), 75);
  EXPECT_EQ(profile.getInt("Threshold", "Single", -1, folder.file("a.ini")), 0);
  EXPECT_EQ(profile.getInt("Threshold", "Missing", -1, folder.file("a.ini")), -1);
}

TEST_F(ProfileFilesTest, LongValuesAreCutToTheBuffer) {
  folder.write("b.ini", "[S]\nK=" + std::string(600, 'v') + "\n");
  EXPECT_EQ(get("b.ini", "S", "K", 555), std::string(554, 'v'));
  EXPECT_EQ(get("b.ini", "S", "K", 1), "");
  EXPECT_EQ(get("b.ini", "S", "Missing", 4, "abcdef"), "abc");
}

TEST_F(ProfileFilesTest, WritesCreateReplaceAndKeepEverythingElse) {
  std::string file = folder.file("sub/state.ini");
  folder.write("sub/state.ini",
               "; keep me\n[LastRunDateTime]\nLastRun=01/01/2026 00:00:00\n\n[Threshold]\n"
               "eventDETAILS = 10 ; note\nOther=1\n");
  ASSERT_TRUE(profile.writeString("threshold", "EventDetails", "50", file).ok());
  ASSERT_TRUE(profile.writeString("LastRunDateTime", "Extra", "x", file).ok());
  ASSERT_TRUE(profile.writeString("LastFailure", "Reason", "", file).ok());
  EXPECT_EQ(folder.read("sub/state.ini"),
            "; keep me\r\n[LastRunDateTime]\r\nLastRun=01/01/2026 00:00:00\r\nExtra=x\r\n\r\n"
            "[Threshold]\r\neventDETAILS=50\r\nOther=1\r\n[LastFailure]\r\nReason=\r\n");

  std::string fresh = folder.file("fresh.ini");
  ASSERT_TRUE(profile.writeString("Threshold", "EventDetails", "50", fresh).ok());
  EXPECT_EQ(folder.read("fresh.ini"), "[Threshold]\r\nEventDetails=50\r\n");
}

TEST_F(ProfileFilesTest, FailedWritesChangeNothing) {
  EXPECT_EQ(profile.writeString("S", "K", "v", folder.file("missing/x.ini")).number,
            kErrorPathNotFound);
  EXPECT_FALSE(folder.exists("missing"));

  folder.write("ro.ini", "[S]\nK=old\n");
  ::chmod(folder.file("ro.ini").c_str(), 0444);
  EXPECT_EQ(profile.writeString("S", "K", "new", folder.file("ro.ini")).number, kErrorAccessDenied);
  EXPECT_EQ(folder.read("ro.ini"), "[S]\nK=old\n");
}

TEST_F(ProfileFilesTest, WriteKeepsTheFileModeAndLeavesNoTemporaryFile) {
  folder.write("m.ini", "[S]\nK=old\n");
  ::chmod(folder.file("m.ini").c_str(), 0600);
  ASSERT_TRUE(profile.writeString("S", "K", "new", folder.file("m.ini")).ok());
  struct stat st {};
  ::stat(folder.file("m.ini").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(folder.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(ProfileFilesTest, BackslashPathsMapToTheFileLayer) {
  folder.write("Configuration/qScriptDNS.ini", "[wpdcmodjobexestsins]\nURL=http://h/\n");
  std::string buffer(100, ' ');
  std::uint32_t n = profile.getString("wpdcmodjobexestsins", "URL", "", buffer,
                                      folder.path() + "\\\\Configuration\\qScriptDNS.ini");
  EXPECT_EQ(buffer.substr(0, n), "http://h/");
}

}  // namespace
}  // namespace sccevtmon
