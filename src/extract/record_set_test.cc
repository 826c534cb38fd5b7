#include "extract/record_set.h"

#include <gtest/gtest.h>

namespace sccevtmon {
namespace {

RecordSet makeSet() {
  return RecordSet(
      {{"evttype", kAdVarChar, 50}, {"msg", kAdVarChar, 5}, {"TotalCount", kAdInteger, 0}});
}

std::vector<std::string> column(RecordSet& set, const char* name) {
  std::vector<std::string> out;
  for (set.moveFirst(); !set.atEnd(); set.moveNext()) {
    FieldValue v;
    EXPECT_TRUE(set.value(name, &v).ok());
    out.push_back(v ? *v : "<null>");
  }
  return out;
}

TEST(RecordSetTest, KeepsNullApartFromEmptyAndCutsLongTexts) {
  RecordSet set = makeSet();
  ASSERT_TRUE(set.addRow({std::string("Error event"), std::string("abcdefgh")}).ok());
  ASSERT_TRUE(set.addRow({std::string(""), std::nullopt, std::string("3")}).ok());
  EXPECT_EQ(set.recordCount(), 2u);
  EXPECT_EQ(column(set, "EVTTYPE"), (std::vector<std::string>{"Error event", ""}));
  EXPECT_EQ(column(set, "msg"), (std::vector<std::string>{"abcde", "<null>"}));
  EXPECT_EQ(column(set, "totalcount"), (std::vector<std::string>{"<null>", "3"}));
  FieldValue v;
  set.moveFirst();
  EXPECT_FALSE(set.value("nosuch", &v).ok());
  set.moveTo(5);
  EXPECT_FALSE(set.value("msg", &v).ok());
}

TEST(RecordSetTest, FilterShowsMatchingRowsAndRejectsOtherExpressions) {
  RecordSet set = makeSet();
  for (const char* t : {"Error event", "Warning event", "Information event", "Error event"}) {
    ASSERT_TRUE(set.addRow({std::string(t)}).ok());
  }
  ASSERT_TRUE(set.setFilter("(evttype ='Error event' OR evttype ='Information event')").ok());
  EXPECT_EQ(column(set, "evttype"),
            (std::vector<std::string>{"Error event", "Information event", "Error event"}));
  ASSERT_TRUE(set.addRow({std::string("Warning event")}).ok());
  ASSERT_TRUE(set.addRow({std::string("Error event")}).ok());
  EXPECT_EQ(set.recordCount(), 4u);
  ASSERT_TRUE(set.setFilter("").ok());
  EXPECT_EQ(set.recordCount(), 6u);

  for (const char* bad :
       {"evttype ='Error event'", "(evttype = Error)", "(nosuch ='x')",
        "(evttype ='x' AND evttype ='y')", "(evttype ='x'", "(evttype ='x') x", "(evttype ='x)"}) {
    Status s = set.setFilter(bad);
    EXPECT_FALSE(s.ok()) << bad;
    EXPECT_NE(s.description.find("position"), std::string::npos) << s.description;
    EXPECT_EQ(set.recordCount(), 6u) << bad;
  }
}

TEST(RecordSetTest, CopiesShareRowsAndOutliveTheirSource) {
  RecordSet a = makeSet(), b = makeSet();
  RecordSet narrow(
      {{"evttype", kAdVarChar, 3}, {"msg", kAdVarChar, 5}, {"TotalCount", kAdInteger, 0}});
  ASSERT_TRUE(a.addRow({std::string("x"), std::string("m"), std::string("1")}).ok());
  ASSERT_TRUE(a.addRow({std::string("yyyyy"), std::string("n"), std::string("2")}).ok());
  ASSERT_TRUE(a.setFilter("(evttype ='yyyyy')").ok());
  ASSERT_TRUE(b.copyAllFrom(a).ok());
  ASSERT_TRUE(narrow.copyAllFrom(a).ok());
  EXPECT_EQ(column(b, "evttype"), std::vector<std::string>{"yyyyy"});
  // A set with narrower columns keeps copies cut to them.
  EXPECT_EQ(column(narrow, "evttype"), std::vector<std::string>{"yyy"});
  b.moveFirst();
  a.moveFirst();
  EXPECT_EQ(b.storeRow(), a.storeRow());

  // Emptying removes the visible rows only; closing the source leaves the copies.
  a.deleteAll();
  EXPECT_EQ(a.recordCount(), 0u);
  a.clearFilter();
  EXPECT_EQ(column(a, "evttype"), std::vector<std::string>{"x"});
  a.close();
  EXPECT_EQ(a.recordCount(), 0u);
  EXPECT_EQ(column(b, "TotalCount"), std::vector<std::string>{"2"});
}

TEST(RecordSetTest, AdoptedRowsAreCutToTheColumns) {
  auto rows = std::make_unique<TextRows>(3);
  const FieldText cells[] = {std::string_view("Error event"), std::string_view("abcdefgh"),
                             std::nullopt};
  rows->add(cells);
  RecordSet set = makeSet();
  ASSERT_TRUE(set.adopt(std::move(rows)).ok());
  EXPECT_EQ(column(set, "msg"), std::vector<std::string>{"abcde"});
  EXPECT_EQ(column(set, "TotalCount"), std::vector<std::string>{"<null>"});
  EXPECT_FALSE(set.adopt(std::make_unique<TextRows>(2)).ok());
}

}  // namespace
}  // namespace sccevtmon
