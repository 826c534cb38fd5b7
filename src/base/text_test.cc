#include "base/text.h"

#include <gtest/gtest.h>

#include "base/time_stamp.h"

namespace sccevtmon {
namespace {

TEST(NumericValueTest, ReadsTheNumberATextStartsWith) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"", 0},
      {"   ", 0},
      {"abc", 0},
      {"0", 0},
      {"0.0", 0},
      {"4711", 4711},
      {"  4711", 4711},
      {"12abc", 12},
      {"1 2", 12},
      {"\t1\n2", 12},
      {"-3", -3},
      {"+7", 7},
      {"2.50", 2.5},
      {".5", 0.5},
      {"0100", 100},
      {"75x", 75},
      {"1e3", 1000},
      {"1E+2x", 100},
      {"1e", 1},
      {"1d2", 100},
      {"-", 0},
      {".", 0},
      {"1.2.3", 1.2},
      {"\r5", 0},
      {"1e400", 1.7976931348623157e308},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(numericValue(c.text), c.value) << c.text;
}

TEST(NumberTextTest, WritesTheShortestDecimal) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {{0, "0"},           {100, "100"},    {2.5, "2.5"},
               {-3, "-3"},         {12, "12"},      {0.0001, "0.0001"},
               {0.00001, "1E-05"}, {1e20, "1E+20"}, {123456789012345.0, "123456789012345"},
               {-0.0, "0"}};
  for (const Case& c : cases) EXPECT_EQ(numberText(c.value), c.text) << c.value;
}

TEST(TextTest, TrimsSpacesOnly) {
  EXPECT_EQ(trimSpaces("  a b  "), "a b");
  EXPECT_EQ(trimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(trimSpaces("    "), "");
}

TEST(TextTest, CasesAnsiLetters) {
  EXPECT_EQ(toUpperAnsi("ab12\xe9\xff"), "AB12\xc9\x9f");
  EXPECT_EQ(toLowerAnsi("AB\xc9\x8a"), "ab\xe9\x9a");
  EXPECT_TRUE(equalsNoCase("TrUe", "true"));
  EXPECT_FALSE(equalsNoCase("true", "truee"));
}

TEST(TextTest, EscapesMarkupCharacters) {
  EXPECT_EQ(escapeXmlText("a&b<c>d\"e"), "a&amp;b&lt;c&gt;d\"e");
}

TEST(TimeStampTest, FormatsWithFixedSeparators) {
  LocalTime t{2026, 3, 4, 9, 5, 3};
  EXPECT_EQ(runTimestamp(t), "03/04/2026 09:05:03");
  EXPECT_EQ(fileStamp(LocalTime{2026, 3, 7, 14, 5, 9}), "03072026140509");
}

TEST(TimeStampTest, ParsesMonthFirst) {
  EXPECT_EQ(parseRunTimestamp("03/07/2026 14:05:09"), (LocalTime{2026, 3, 7, 14, 5, 9}));
  EXPECT_EQ(parseRunTimestamp(" 3/7/2026 4:05 "), (LocalTime{2026, 3, 7, 4, 5, 0}));
  EXPECT_EQ(parseRunTimestamp("12/31/2025"), (LocalTime{2025, 12, 31, 0, 0, 0}));
  for (const char* bad : {"", "garbage", "13/01/2026 00:00:00", "02/30/2026 10:00:00",
                          "03/07/2026 24:00:00", "03/07/26 10:00:00", "03/07/2026 10:00:00x"}) {
    EXPECT_FALSE(parseRunTimestamp(bad).has_value()) << bad;
  }
}

TEST(TimeStampTest, CalendarArithmeticCrossesMonthsYearsAndLeapDays) {
  EXPECT_EQ(addSeconds(LocalTime{2026, 1, 1, 0, 30, 0}, -3600),
            (LocalTime{2025, 12, 31, 23, 30, 0}));
  EXPECT_EQ(addSeconds(LocalTime{2024, 2, 28, 23, 0, 0}, 3600), (LocalTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(
      clockHour(LocalTime{2026, 3, 7, 11, 1, 0}) - clockHour(LocalTime{2026, 3, 7, 10, 59, 0}), 1);
  EXPECT_EQ(addSeconds(LocalTime{1969, 12, 31, 23, 59, 59}, 1), (LocalTime{1970, 1, 1, 0, 0, 0}));
}

// A report file's copy grows up to 1 MiB and one byte, however many elements follow; the log
// gets it whole up to 1 MiB, else its first 1 MiB and the mark.
TEST(ReportCopyTest, KeepsAndLogsTheFirstMebibyte) {
  const std::string kMark = " ...[cut at 1 MiB]";
  const struct {
    std::size_t elements;  // of 1,000 bytes each
    std::size_t kept;
    bool cut;
  } kCases[] = {
      {0, 0, false}, {1048, 1048000, false}, {1049, 1048577, true}, {5000, 1048577, true}};
  for (const auto& c : kCases) {
    std::string copy;
    for (std::size_t k = 0; k < c.elements; ++k) appendToCopy(copy, std::string(1000, 'x'));
    EXPECT_EQ(copy.size(), c.kept) << c.elements;
    std::string logged = loggedCopy(copy);
    EXPECT_EQ(logged.size(), c.cut ? kReportCopyBytes + kMark.size() : c.kept) << c.elements;
    EXPECT_EQ(logged.ends_with(kMark), c.cut) << c.elements;
  }
  std::string exact(kReportCopyBytes, 'x');
  EXPECT_EQ(loggedCopy(exact), exact);
}

}  // namespace
}  // namespace sccevtmon
