#include "report/post_logs.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using Lines = std::vector<std::string>;

class MoveFilesTest : public RunTest {
 protected:
  const std::string source = "/agent\\wpevntsummdsk_N_4711_03072026140509.xml";
  const std::string destination = "/agent\\SCCPostLogs\\wpevntsummdsk_N_4711_03072026140509.xml";
  void SetUp() override {
    openLog();
    fake.files.addFolder("/agent/SCCPostLogs");
    fake.files.addFile(source, "<wpevntsummdsk>\r\n");
  }
};

TEST_F(MoveFilesTest, FlaggedFileIsMovedReplacingAnOlderCopy) {
  fake.files.addFile(destination, "old");
  subMoveFiles(rs, os, source, destination, "True");
  EXPECT_EQ(fake.files.content(destination), "<wpevntsummdsk>\r\n");
  EXPECT_FALSE(fake.files.hasFile(source));
  EXPECT_EQ(messages(), (Lines{"MSG : Copying file " + source + " to " + destination,
                               "MSG : Deleting file " + source}));
}

TEST_F(MoveFilesTest, UnflaggedFileIsDiscarded) {
  subMoveFiles(rs, os, source, destination, "False");
  EXPECT_FALSE(fake.files.hasFile(source));
  EXPECT_FALSE(fake.files.hasFile(destination));
  EXPECT_EQ(messages(), (Lines{"MSG : No events generated", "MSG : Deleting file " + source}));
}

TEST_F(MoveFilesTest, FlagTexts) {
  struct Case {
    const char* flag;
    bool copied;
  } cases[] = {{"TRUE", true}, {"false", false}, {"1", true},
               {"-1", true},   {"0", false},     {" 2.5 ", true}};
  for (const Case& c : cases) {
    fake.files.addFile(source, "x");
    fake.files.files.erase(FakeFileSystem::normalise(destination));
    subMoveFiles(rs, os, source, destination, c.flag);
    EXPECT_EQ(fake.files.hasFile(destination), c.copied) << c.flag;
    EXPECT_FALSE(fake.files.hasFile(source)) << c.flag;
  }
}

TEST_F(MoveFilesTest, MissingSourceIsLeftAlone) {
  fake.files.files.clear();
  subMoveFiles(rs, os, source, destination, "True");
  subMoveFiles(rs, os, source, destination, "nonsense");
  EXPECT_TRUE(messages().empty());
}

TEST_F(MoveFilesTest, ErrorsEndTheHandOverWithOneLine) {
  fake.files.folders.erase("/agent/SCCPostLogs");
  subMoveFiles(rs, os, source, destination, "True");
  EXPECT_TRUE(fake.files.hasFile(source));
  EXPECT_EQ(messages(),
            (Lines{"MSG : Copying file " + source + " to " + destination,
                   "ERR : subMoveFiles, Path not found: " + source + " -> " + destination}));

  fake.files.addFile(kLog, "");
  subMoveFiles(rs, os, source, destination, "maybe");
  EXPECT_EQ(messages(),
            Lines{"ERR : subMoveFiles, Type mismatch: " + source + " -> " + destination});

  fake.files.addFile(kLog, "");
  fake.files.fail = [](const std::string& op, const std::string&) {
    return op == "deleteFile" ? runtimeError(kErrPermissionDenied) : Status::success();
  };
  subMoveFiles(rs, os, source, destination, "False");
  EXPECT_EQ(messages(),
            (Lines{"MSG : No events generated", "MSG : Deleting file " + source,
                   "ERR : subMoveFiles, Permission denied: " + source + " -> " + destination}));
}

TEST_F(MoveFilesTest, ReadOnlySourceIsStillDeleted) {
  fake.files.files[FakeFileSystem::normalise(source)].readOnly = true;
  subMoveFiles(rs, os, source, destination, "False");
  EXPECT_FALSE(fake.files.hasFile(source));
}

// A leftover under a report file's name goes to the agent only when it is a whole report of
// its kind for this REGID; anything else is renamed out of the way and named.
TEST_F(MoveFilesTest, TheHandOverAtStartUpTakesOnlyWholeReports) {
  const std::string summary = "wpevntsummdsk_N_4711_03072026130509.xml";
  const std::string detail = "wpevntdumpdsk_Y_4711_03072026130509.xml";
  const std::string wholeSummary =
      "<wpevntsummdsk>\r\n<regid>4711</regid>\r\n<mntime>x</mntime>\r\n</wpevntsummdsk>\r\n";
  const std::string wholeDetail =
      "<agtregid>4711</agtregid>\r\n<mntime>x</mntime>\r\n<ROW>\r\n<msg><![CDATA[caf\xE9]]></msg>"
      "\r\n</ROW>\r\n";
  struct Case {
    const char* name;
    std::string file;
    std::string content;
    bool handedOver;
  };
  const Case cases[] = {
      {"whole summary", summary, wholeSummary, true},
      {"whole detail, ANSI text", detail, wholeDetail, true},
      {"summary cut short", summary, wholeSummary.substr(0, 40), false},
      {"detail cut inside a row", detail, wholeDetail.substr(0, 50), false},
      {"another REGID inside", summary, "<wpevntsummdsk><regid>99</regid></wpevntsummdsk>", false},
      {"summary without regid", summary, "<wpevntsummdsk></wpevntsummdsk>", false},
      {"wrong root", summary, "<wpevntdumpdsk><regid>4711</regid></wpevntdumpdsk>", false},
      {"detail that is a summary", detail, wholeSummary, false},
      {"not XML", detail, "hello", false},
      {"empty", summary, "", false},
  };
  for (const Case& c : cases) {
    fake.files.files.clear();
    fake.files.addFile(kLog, "");
    fake.files.addFile("/agent/" + c.file, c.content);
    rs.rejectedFiles.clear();
    recoverReportFiles(rs, os);
    const std::string path = "/agent\\" + c.file;
    EXPECT_EQ(fake.files.hasFile("/agent/SCCPostLogs/" + c.file), c.handedOver) << c.name;
    EXPECT_FALSE(fake.files.hasFile("/agent/" + c.file)) << c.name;
    if (c.handedOver) {
      EXPECT_TRUE(rs.rejectedFiles.empty()) << c.name;
      continue;
    }
    EXPECT_EQ(fake.files.content("/agent/" + c.file + ".rejected"), c.content) << c.name;
    EXPECT_EQ(messages(),
              Lines{"ERR : The file " + path + " is not a whole report of its kind, renamed to " +
                    path + ".rejected"})
        << c.name;
    EXPECT_EQ(rs.rejectedFiles, Lines{c.file}) << c.name;
  }
}

}  // namespace
}  // namespace sccevtmon
