#include "template/template_parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

const std::string kHyphenLine = "MSG : " + std::string(72, '-') + " ";

class TemplateParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.files.addFolder("/log");
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fake.files.createTextFile("/log/activity.txt", true, &stream).ok());
    rs.activityLog.open(std::move(stream), fake.clock);
  }

  static std::string testdata(const std::string& name) {
    return std::string(SCCEVTMON_SOURCE_DIR) + "/src/template/testdata/" + name;
  }

  // The parser reads through the platform's file layer: put the test document there.
  void parse(const std::string& name) {
    stage(name);
    fncParseWebpostData(rs, fake.platform, testdata(name));
  }
  void stage(const std::string& name) {
    std::ifstream in(testdata(name), std::ios::binary);
    if (in) {
      fake.files.addFile(testdata(name), std::string((std::istreambuf_iterator<char>(in)),
                                                     std::istreambuf_iterator<char>()));
    }
  }

  // The activity log as it must read after the given messages (the fake clock stands still).
  static std::string logOf(std::initializer_list<std::string> messages) {
    std::string out;
    for (const std::string& m : messages) out += "03/07/2026 14:05:09\t" + m + "\r\n";
    return out;
  }
  std::string log() const { return fake.files.content("/log/activity.txt"); }

  FakePlatform fake;
  RunState rs;
};

TEST_F(TemplateParserTest, ReadsATemplateWhoseRootIsTheTemplateElement) {
  parse("root_template.xml");
  EXPECT_EQ(log(),
            logOf({
                "MSg : in fncParseWebpostData",
                "MSG : ***** Template ID [4711], Template Version [3]***********",
                "MSG:-----Counter [1] --> ScriptID=101 :: ScriptVer=2 --------------------\"",
                "EvntLgSourceStr:System<<>>EvntType:1;2<<>>EvntSrc:Disk,Service Control "
                "Manager<<>>EvntID:7,11<<>>EvntDesc:failed##timeout<<>>SourceNID:Disk;7,"
                "11<<>>OutputOpt:3<<>>EvntDescStrt:contain<<>>EvntDescAndOr:OR<<>>",
                "MSG:-----Counter [2] --> ScriptID=102 :: ScriptVer=1 --------------------\"",
                "",
                kHyphenLine,
            }));
  EXPECT_EQ(rs.templateId, "4711");
  EXPECT_EQ(rs.templateVersion, "3");
  EXPECT_TRUE(rs.hasEntries);
  ASSERT_EQ(rs.monitorEntries.size(), 2u);
  const MonitorEntry& e = rs.monitorEntries[0];
  EXPECT_EQ(e.evntlgsourcestr, "System");
  EXPECT_EQ(e.evnttype, "1;2");
  EXPECT_EQ(e.evntsource, "Disk,Service Control Manager");
  EXPECT_EQ(e.evntid, "7,11");
  EXPECT_EQ(e.evntdesc, "failed##timeout");
  EXPECT_EQ(e.evntsourandid, "Disk;7,11");
  EXPECT_EQ(e.outputopt, "3");
  EXPECT_EQ(e.evntdescstrt, "contain");
  EXPECT_EQ(e.evntdescandor, "OR");
  EXPECT_EQ(e.scriptid, "101");
  EXPECT_EQ(e.scriptver, "2");
  const MonitorEntry& empty = rs.monitorEntries[1];
  EXPECT_EQ(empty.scriptid, "102");
  EXPECT_EQ(empty.evntlgsourcestr + empty.evnttype + empty.outputopt, "");
  EXPECT_EQ(rs.eventLogNames, std::vector<std::string>{"System"});
  EXPECT_EQ(rs.failureReason, "");
  EXPECT_EQ(rs.templateFailure, "");
}

TEST_F(TemplateParserTest, ReadsOnlyTheDirectChildrenOfTheFirstNestedTemplateElement) {
  parse("nested_template.xml");
  EXPECT_EQ(rs.templateId, "12");
  EXPECT_EQ(rs.templateVersion, "5");
  ASSERT_EQ(rs.monitorEntries.size(), 1u);
  EXPECT_EQ(rs.monitorEntries[0].scriptid, "3");
  EXPECT_EQ(rs.eventLogNames, std::vector<std::string>{"Application"});
  EXPECT_EQ(log(), logOf({
                       "MSg : in fncParseWebpostData",
                       "MSG : ***** Template ID [12], Template Version [5]***********",
                       "MSG:-----Counter [1] --> ScriptID=3 :: ScriptVer=1 --------------------\"",
                       "EvntLgSourceStr:Application<<>>",
                       kHyphenLine,
                   }));
}

TEST_F(TemplateParserTest, MatchesTemplateChildrenExactlyButEntryChildrenInAnyCase) {
  parse("case_rules.xml");
  EXPECT_EQ(rs.templateId, "");
  ASSERT_EQ(rs.monitorEntries.size(), 1u);
  const MonitorEntry& e = rs.monitorEntries[0];
  EXPECT_EQ(e.scriptid, "2");
  EXPECT_EQ(e.evntlgsourcestr, "System");
  EXPECT_EQ(e.evnttype, "4");
  EXPECT_EQ(e.evntid, "1074");
  EXPECT_EQ(e.evntsource, "Source A");
  EXPECT_EQ(e.outputopt, "2");
  EXPECT_EQ(rs.eventLogNames, std::vector<std::string>{"System"});
  EXPECT_EQ(log(), logOf({
                       "MSg : in fncParseWebpostData",
                       "MSG:-----Counter [1] --> ScriptID=2 :: ScriptVer=1 --------------------\"",
                       "EvntLgSourceStr:System<<>>EvntType:4<<>>EvntID:1074<<>>EvntSrc:Source "
                       "A<<>>OutputOpt:2<<>>",
                       kHyphenLine,
                   }));
}

TEST_F(TemplateParserTest, TrimsSpacesFromElementTextsOnlyAndNeverFromAttributes) {
  parse("trimming.xml");
  EXPECT_EQ(rs.templateId, " 8 ");
  EXPECT_EQ(rs.templateVersion, "1 ");
  ASSERT_EQ(rs.monitorEntries.size(), 1u);
  const MonitorEntry& e = rs.monitorEntries[0];
  EXPECT_EQ(e.scriptid, " 7");
  EXPECT_EQ(e.scriptver, "2 ");
  EXPECT_EQ(e.evntlgsourcestr, "System");
  EXPECT_EQ(e.evntsource, "\tDisk");
  EXPECT_EQ(e.evntid, "\n      7\n");
  EXPECT_EQ(e.evntdesc, "");
  EXPECT_EQ(log(),
            logOf({
                "MSg : in fncParseWebpostData",
                "MSG : ***** Template ID [ 8 ], Template Version [1 ]***********",
                "MSG:-----Counter [1] --> ScriptID= 7 :: ScriptVer=2  --------------------\"",
                "EvntLgSourceStr:System<<>>EvntSrc:\tDisk<<>>EvntID:\n      7\n<<>>EvntDesc:<<>>",
                kHyphenLine,
            }));
}

TEST_F(TemplateParserTest, RecordsEachLogNameOnceInOrderOfFirstAppearance) {
  // Entries name A, B, " A ", none, blank, C, a and B.
  parse("log_names.xml");
  ASSERT_EQ(rs.monitorEntries.size(), 8u);
  EXPECT_EQ(rs.monitorEntries[2].evntlgsourcestr, "A");
  EXPECT_EQ(rs.monitorEntries[3].evntlgsourcestr, "");
  EXPECT_EQ(rs.monitorEntries[3].evnttype, "1");
  EXPECT_EQ(rs.monitorEntries[4].evntlgsourcestr, "");
  // The repeated A left an empty item that C filled; the last repeated B leaves one again.
  EXPECT_EQ(rs.eventLogNames, (std::vector<std::string>{"A", "B", "C", "a", ""}));
}

TEST_F(TemplateParserTest, ARepeatedNameLeavesOneEmptyItemAtTheEnd) {
  parse("log_names_aba.xml");
  EXPECT_EQ(rs.eventLogNames, (std::vector<std::string>{"A", "B", ""}));
}

TEST_F(TemplateParserTest, AMissingScriptverStopsTheParseBeforeTheCounterLine) {
  parse("missing_scriptver.xml");
  const std::string why = "the dcm element has no scriptver attribute";
  EXPECT_EQ(log(), logOf({
                       "MSg : in fncParseWebpostData",
                       "MSG : ***** Template ID [20], Template Version [1]***********",
                       "MSG:-----Counter [1] --> ScriptID=1 :: ScriptVer=1 --------------------\"",
                       "EvntLgSourceStr:System<<>>",
                       "ERR : fncParseWebpostData, " + why,
                   }));
  EXPECT_EQ(rs.failureReason, "Failed to parse the XML, " + why);
  EXPECT_EQ(rs.templateFailure, rs.failureReason);
  EXPECT_EQ(rs.templateId, "20");
  EXPECT_TRUE(rs.hasEntries);
  ASSERT_EQ(rs.monitorEntries.size(), 2u);
  EXPECT_EQ(rs.monitorEntries[1].scriptid, "2");
  EXPECT_EQ(rs.monitorEntries[1].scriptver, "");
  EXPECT_EQ(rs.monitorEntries[1].evntlgsourcestr, "");
  EXPECT_EQ(rs.monitorEntries[1].evnttype, "");
  EXPECT_EQ(rs.eventLogNames, std::vector<std::string>{"System"});
}

TEST_F(TemplateParserTest, ATemplateChildWithoutVersionKeepsItsIdAndStops) {
  parse("missing_version.xml");
  const std::string why = "the template element has no version attribute";
  EXPECT_EQ(log(), logOf({"MSg : in fncParseWebpostData", "ERR : fncParseWebpostData, " + why}));
  EXPECT_EQ(rs.failureReason, "Failed to parse the XML, " + why);
  EXPECT_EQ(rs.templateId, "21");
  EXPECT_EQ(rs.templateVersion, "");
  EXPECT_FALSE(rs.hasEntries);
  EXPECT_TRUE(rs.monitorEntries.empty());
}

TEST_F(TemplateParserTest, TheLastOfTwoTemplateChildrenStands) {
  parse("two_templates.xml");
  EXPECT_EQ(log(), logOf({
                       "MSg : in fncParseWebpostData",
                       "MSG : ***** Template ID [1], Template Version [1]***********",
                       "MSG : ***** Template ID [2], Template Version [7]***********",
                       kHyphenLine,
                   }));
  EXPECT_EQ(rs.templateId, "2");
  EXPECT_EQ(rs.templateVersion, "7");
  EXPECT_FALSE(rs.hasEntries);
  EXPECT_TRUE(rs.eventLogNames.empty());
}

TEST_F(TemplateParserTest, ADocumentWithoutTemplateElementGivesNoEntriesAndNoFailure) {
  parse("no_template_element.xml");
  EXPECT_EQ(log(), logOf({"MSg : in fncParseWebpostData", kHyphenLine}));
  EXPECT_FALSE(rs.hasEntries);
  EXPECT_EQ(rs.templateId, "");
  EXPECT_EQ(rs.failureReason, "");
}

TEST_F(TemplateParserTest, ADocumentThatCannotBeLoadedLogsItsPathAndSetsTheReason) {
  for (const char* name : {"not_well_formed.xml", "missing.xml"}) {
    RunState fresh;
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fake.files.createTextFile("/log/activity.txt", true, &stream).ok());
    fresh.activityLog.open(std::move(stream), fake.clock);
    stage(name);
    fncParseWebpostData(fresh, fake.platform, testdata(name));
    EXPECT_EQ(log(), logOf({"MSg : in fncParseWebpostData",
                            "ERR : Failed to load xml file, " + testdata(name)}))
        << name;
    EXPECT_EQ(fresh.failureReason, "Failed to load the xml file") << name;
    EXPECT_EQ(fresh.templateFailure, "Failed to load the xml file") << name;
    EXPECT_FALSE(fresh.hasEntries) << name;
    EXPECT_TRUE(fresh.monitorEntries.empty()) << name;
  }
}

TEST_F(TemplateParserTest, KeepsACrLfReferenceAndReadsAWrittenLineEndAsLf) {
  parse("line_ends.xml");
  ASSERT_EQ(rs.monitorEntries.size(), 1u);
  EXPECT_EQ(rs.monitorEntries[0].evntsource, "Disk\r\nNtfs");
  EXPECT_EQ(rs.monitorEntries[0].evntid, "7\n11");
}

TEST_F(TemplateParserTest, ReadsUtf16AndWindows1252DocumentsAsAnsiText) {
  parse("utf16.xml");
  ASSERT_EQ(rs.monitorEntries.size(), 1u) << log();
  EXPECT_EQ(rs.templateId, "5");
  EXPECT_EQ(rs.monitorEntries[0].evntlgsourcestr, "Application");
  EXPECT_EQ(rs.monitorEntries[0].evntdesc, "Caf\xE9 \x80##?");

  RunState other;
  stage("windows1252.xml");
  fncParseWebpostData(other, fake.platform, testdata("windows1252.xml"));
  ASSERT_EQ(other.monitorEntries.size(), 1u);
  EXPECT_EQ(other.templateId, "6");
  EXPECT_EQ(other.monitorEntries[0].evntdesc, "Caf\xE9 \x80");
}

}  // namespace
}  // namespace sccevtmon
