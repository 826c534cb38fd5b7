#include "run/check_files.h"

#include <gtest/gtest.h>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

const char kInstall[] = "/agent\\";

// The written files and folders are checked in check_test.cc, with the rest of --check.

TEST(CheckFilesTest, ReadsSettingsAsARunDoesAndSuggestsNearlyRightSections) {
  const char* server = "/agent/Configuration/qScriptDNS.ini";
  auto utf16 = [](const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
  };
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> findings;
  };
  const std::string good = "[wpdcmodjobexestsins]\r\nURL=x\r\n[WPDCMSCCTMPEVTLGFAIL]\r\nURL=y\r\n";
  const Case cases[] = {
      {"good, any letter case", good, {}},
      {"one letter short",
       "[wpdcmodjobexestsin]\r\nURL=x\r\n[wpdcmscctmpevtlgfail] trailing\r\nURL=y\r\n",
       {"error: server settings /agent/Configuration/qScriptDNS.ini: a run reads no section "
        "[wpdcmodjobexestsins], but there is [wpdcmodjobexestsin]: did you mean "
        "[wpdcmodjobexestsins]?"}},
      {"another section altogether", "[other]\r\nURL=x\r\n", {}},
      {"UTF-16",
       utf16(good),
       {"ok: server settings /agent/Configuration/qScriptDNS.ini is UTF-16 with a byte-order "
        "mark, which a run reads as Windows does"}},
      {"UTF-16 and misspelt",
       utf16("[wpdcmscctmpevtlgfal]\r\n"),
       {"ok: server settings /agent/Configuration/qScriptDNS.ini is UTF-16 with a byte-order "
        "mark, which a run reads as Windows does",
        "error: server settings /agent/Configuration/qScriptDNS.ini: a run reads no section "
        "[wpdcmscctmpevtlgfail], but there is [wpdcmscctmpevtlgfal]: did you mean "
        "[wpdcmscctmpevtlgfail]?"}},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.files.addFolder("/agent/Configuration");
    f.files.addFile(server, c.content);
    std::vector<std::string> lines;
    for (const Finding& finding : checkSettingsSections(f.platform, kInstall)) {
      lines.push_back(findingLine(finding));
    }
    EXPECT_EQ(lines, c.findings) << c.name;
  }
}

TEST(CheckFilesTest, NamesALogNameOutsideWindows1252) {
  const std::string tmpl =
      "<dcmevntlgtemplat><dcm><evntlgsourcestr> System </evntlgsourcestr></dcm>"
      "<dcm><evntlgsourcestr>Caf\xC3\xA9</evntlgsourcestr></dcm>"
      "<dcm><evntlgsourcestr>\xD0\x96urnal</evntlgsourcestr></dcm></dcmevntlgtemplat>";
  std::vector<std::string> lines;
  for (const Finding& finding : checkLogNamesOutsideCodePage(tmpl)) {
    lines.push_back(findingLine(finding));
  }
  EXPECT_EQ(lines, std::vector<std::string>{
                       "error: event log \"\xD0\x96urnal\" of the template holds characters "
                       "outside Windows-1252, the monitor's text: a run looks for \"?urnal\" and "
                       "never finds it; name the log as Windows-1252 can write it"});
}

}  // namespace
}  // namespace sccevtmon
