#include "extract/filter_pipeline.h"

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitListTest, DropsEmptyPiecesAndKeepsBlanks) {
  EXPECT_EQ(splitList("", ","), Lines{});
  EXPECT_EQ(splitList("a", ","), Lines{"a"});
  EXPECT_EQ(splitList(",a,, b ,", ","), (Lines{"a", " b "}));
  EXPECT_EQ(splitList("a###b", "##"), (Lines{"a", "#b"}));
  EXPECT_EQ(splitList(",,,", ","), Lines{});
}

TEST(SplitListTest, PrepareListTurnsLineBreaksIntoSeparatorsAndDropsEndMarks) {
  EXPECT_EQ(prepareList("A\r\nB", ",", ","), (Lines{"A", "B"}));
  EXPECT_EQ(prepareList(",7,,8,", ",", ","), (Lines{"7", "8"}));
  EXPECT_EQ(prepareList("##one##two##", "##", "##"), (Lines{"one", "two"}));
  EXPECT_EQ(prepareList("S;1,2\r\nT;3,", "##", ","), (Lines{"S;1,2", "T;3"}));
  EXPECT_EQ(prepareList("A\nB", ",", ","), Lines{"A\nB"});  // a lone LF is no separator
}

struct Row {
  const char* type;
  const char* source;
  const char* id;
  const char* msg;
};

class PipelineTest : public RunTest {
 protected:
  WorkingSets sets;
  MonitorEntry entry;

  void SetUp() override {
    openLog();
    for (const Row& r : std::initializer_list<Row>{
             {"Error event", "Disk", "7", "The device has a bad block."},
             {"Warning event", "Ntfs", "55", "A corruption was found in the file system."},
             {"Information event", "Service Control Manager", "7036",
              "The Spooler service started."},
             {"Failure Audit event", "Security", "4625", "An account failed to log on."},
             {"Error event", "DISK", "11", "The driver detected a controller error."},
         }) {
      sets.loadedRows.addRow({std::string(r.type), std::string("03/07/2026 14:00:00"),
                              std::string(r.source), std::string("None"), std::string(r.id),
                              std::string(r.msg)});
    }
  }

  // The event IDs of the entry's final set.
  Lines run() {
    EXPECT_TRUE(runFilterPipeline(rs, entry, sets).ok());
    Lines ids;
    RecordSet& final = sets.finalRows();
    for (final.moveFirst(); !final.atEnd(); final.moveNext())
      ids.emplace_back(*final.valueAt(kEvtId));
    return ids;
  }
};

TEST_F(PipelineTest, EventTypeCodes) {
  struct Case {
    const char* codes;
    Lines ids;
    Lines log;
  } cases[] = {
      {"0", {"7", "55", "7036", "4625", "11"}, {}},
      {"",
       {"7", "55", "7036", "4625", "11"},
       {"MSG : Filter Condition on Event Type :: ",
        "MSG : Record Count after Filter Condition :: 5"}},
      {"3;x",
       {"7", "55", "7036", "4625", "11"},
       {"MSG : Filter Condition on Event Type :: ",
        "MSG : Record Count after Filter Condition :: 5"}},
      {"1;16",
       {"7", "4625", "11"},
       {"MSG : Filter Condition on Event Type :: (evttype ='Error event' OR evttype ='Failure "
        "Audit "
        "event')",
        "MSG : Record Count after Filter Condition :: 3"}},
      {" 2 ;;4;2",
       {"55", "7036"},
       {"MSG : Filter Condition on Event Type :: (evttype ='Warning event' OR evttype "
        "='Information "
        "event' OR evttype ='Warning event')",
        "MSG : Record Count after Filter Condition :: 2"}},
      {"8",
       {},
       {"MSG : Filter Condition on Event Type :: (evttype ='Success Audit event')",
        "MSG : Record Count after Filter Condition :: 0"}},
  };
  for (const Case& c : cases) {
    fake.files.addFile(kLog, "");
    entry.evnttype = c.codes;
    EXPECT_EQ(run(), c.ids) << c.codes;
    EXPECT_EQ(messages(), c.log) << c.codes;
    sets.loadedRows.clearFilter();
  }
}

TEST_F(PipelineTest, SourcesAndIds) {
  entry.evnttype = "0";
  struct Case {
    const char* sources;
    const char* ids;
    Lines result;
    Lines log;
  } cases[] = {
      {" disk \r\nNtfs",
       "",
       {"7", "55", "11"},
       {"MSG : Filter Condition for Source Name ::  evtsrc = 'disk' OR evtsrc = 'Ntfs'",
        "MSG : Record Count after Filter Condition :: 3"}},
      {"",
       "7,,11,",
       {"7", "11"},
       {"MSG : Filter Condition for Event ID ::  evtid = '7' OR evtid = '11'",
        "MSG : Record Count after Filter Condition :: 2"}},
      {"Disk",
       "11",
       {"11"},
       {"MSG : Filter Condition for Source Name ::  evtsrc = 'Disk'",
        "MSG : Record Count after Filter Condition :: 2",
        "MSG : Filter Condition for Event ID ::  evtid = '11'",
        "MSG : Record Count after Filter Condition :: 1"}},
      {"Nobody",
       "7",
       {},
       {"MSG : Filter Condition for Source Name ::  evtsrc = 'Nobody'",
        "MSG : Record Count after Filter Condition :: 0",
        "MSG : Filter Condition for Event ID ::  evtid = '7'",
        "MSG : Record Count after Filter Condition :: 0"}},
  };
  for (const Case& c : cases) {
    fake.files.addFile(kLog, "");
    entry.evntsource = c.sources;
    entry.evntid = c.ids;
    EXPECT_EQ(run(), c.result) << c.sources << "|" << c.ids;
    EXPECT_EQ(messages(), c.log) << c.sources << "|" << c.ids;
  }
}

TEST_F(PipelineTest, DescriptionModes) {
  entry.evnttype = "0";
  struct Case {
    const char* texts;
    const char* mode;
    const char* joiner;
    Lines result;
  } cases[] = {
      {"the##ERROR", "contain", "and", {"11"}},
      {"the##ERROR", "Contain", "OR", {"7", "55", "7036", "11"}},
      {"the##ERROR", "contain", "xor", {}},
      {"the##error", "does not contain", "AND", {"7", "55", "7036", "4625"}},
      {"device##driver", "does not contain", "OR", {"55", "7036", "4625"}},
      {"device##driver", "does not contain", "", {"7", "55", "7036", "4625", "11"}},
      {"bad block.  ", "ENDS WITH", "", {"7"}},
      {"  an ", "starts with", "", {"4625"}},
      {"the", "sounds like", "OR", {"7", "55", "7036", "4625", "11"}},
  };
  for (const Case& c : cases) {
    entry.evntdesc = c.texts;
    entry.evntdescstrt = c.mode;
    entry.evntdescandor = c.joiner;
    EXPECT_EQ(run(), c.result) << c.texts << "|" << c.mode << "|" << c.joiner;
  }
}

TEST_F(PipelineTest, DescriptionLogLines) {
  entry.evnttype = "1";
  entry.evntdesc = "the##bad";
  entry.evntdescstrt = "contain";
  entry.evntdescandor = "AND";
  EXPECT_EQ(run(), Lines{"7"});
  EXPECT_EQ(messages(),
            (Lines{"MSG : Filter Condition on Event Type :: (evttype ='Error event')",
                   "MSG : Record Count after Filter Condition :: 2",
                   "MSG : Filter Condition for Description ::  msg LIKE '%the%' AND msg LIKE "
                   "'%bad%'",
                   "MSG : Filter on :: contain", "MSG : AND CONDITION",
                   "The device has a bad block.----the", "The device has a bad block.----bad",
                   "MSG : AND CONDITION", "The driver detected a controller error.----the",
                   "The driver detected a controller error.----bad", "Exiting FOR",
                   "MSG : Record Count after Filter Condition :: 1"}));

  fake.files.addFile(kLog, "");
  entry.evntdescstrt = "does not contain";
  entry.evntdescandor = "OR";
  EXPECT_EQ(run(), Lines{});
  EXPECT_EQ(
      messages(),
      (Lines{"MSG : Filter Condition on Event Type :: (evttype ='Error event')",
             "MSG : Record Count after Filter Condition :: 2",
             "MSG : Filter Condition for Description ::  msg NOT LIKE '%the%' OR msg NOT LIKE "
             "'%bad%'",
             "MSG : Filter on :: does not contain", "MSG : OR CONDITION", "MSG : OR CONDITION",
             "MSG : Record Count after Filter Condition :: 0"}));
}

TEST_F(PipelineTest, SourceAndIdPairs) {
  entry.evnttype = "0";
  // Blanks before a source are trimmed away with the rest of the pair.
  entry.evntsourandid = "Disk;7,11,7##  Ntfs;55##disk;11##Security;,";
  EXPECT_EQ(run(), (Lines{"7", "7", "55"}));
  EXPECT_TRUE(sets.pairsSeen);
  EXPECT_EQ(
      messages(),
      (Lines{"MSG : Event Source & ID :: Disk;7,11,7##  Ntfs;55##disk;11##Security;,",
             "Adding Disk:7", "Adding Disk:7", "MSG : Record count after filter conditions :: 2",
             "Adding Ntfs:55", "MSG : Record count after filter conditions :: 3",
             "MSG : Record count after filter conditions :: 3"}));

  // A later entry without pairs: the final set is still the pair stage's output, holding the
  // same rows as the description stage's.
  MonitorEntry later;
  later.evnttype = "2";
  entry = later;
  EXPECT_EQ(run(), Lines{"55"});
  EXPECT_TRUE(sets.pairsSeen);
}

TEST_F(PipelineTest, PairWithoutSemicolonFails) {
  entry.evnttype = "0";
  entry.evntsourandid = "Disk 7";
  Status s = runFilterPipeline(rs, entry, sets);
  EXPECT_EQ(s.number, kErrInvalidCall);
}

}  // namespace
}  // namespace sccevtmon
