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
  EXPECT_EQ(messages(), (Lines{"MSG : Copying file " + source + " to " + destination,
                               "ERR : subMoveFiles, Path not found"}));

  fake.files.addFile(kLog, "");
  subMoveFiles(rs, os, source, destination, "maybe");
  EXPECT_EQ(messages(), Lines{"ERR : subMoveFiles, Type mismatch"});

  fake.files.addFile(kLog, "");
  fake.files.fail = [](const std::string& op, const std::string&) {
    return op == "deleteFile" ? runtimeError(kErrPermissionDenied) : Status::success();
  };
  subMoveFiles(rs, os, source, destination, "False");
  EXPECT_EQ(messages(), (Lines{"MSG : No events generated", "MSG : Deleting file " + source,
                               "ERR : subMoveFiles, Permission denied"}));
}

TEST_F(MoveFilesTest, ReadOnlySourceIsStillDeleted) {
  fake.files.files[FakeFileSystem::normalise(source)].readOnly = true;
  subMoveFiles(rs, os, source, destination, "False");
  EXPECT_FALSE(fake.files.hasFile(source));
}

}  // namespace
}  // namespace sccevtmon
