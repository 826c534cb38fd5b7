#include "util/ascii.h"

#include <gtest/gtest.h>

namespace sccevtmon {
namespace {

TEST(AsciiTest, OnlyAsciiLettersChangeCase) {
  EXPECT_EQ(asciiLower("Event-Log.XML \xC4\xE4 [Z]"), "event-log.xml \xC4\xE4 [z]");
  EXPECT_TRUE(asciiEqualsNoCase("HTTP", "http"));
  EXPECT_FALSE(asciiEqualsNoCase("\xC4", "\xE4"));  // code-page letters are not folded here
  EXPECT_FALSE(asciiEqualsNoCase("http", "https"));
  EXPECT_TRUE(asciiStartsWithNoCase("HTTPS://h/", "https://"));
  EXPECT_FALSE(asciiStartsWithNoCase("http", "https://"));
  EXPECT_TRUE(asciiEndsWithNoCase("System.XML", ".xml"));
  EXPECT_FALSE(asciiEndsWithNoCase("xml", ".xml"));
}

TEST(AsciiTest, TrimTakesTheGivenCharactersFromBothEnds) {
  struct Case {
    std::string_view text, blanks, trimmed;
  } cases[] = {
      {" \tvalue \t", kBlanks, "value"},
      {" a b ", kBlanks, "a b"},
      {"\r\n x\r\n", kBlanks, "\r\n x\r\n"},
      {"\r\n x\r\n", kWhiteSpace, "x"},
      {" \t ", kBlanks, ""},
      {"", kBlanks, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(trimAscii(c.text, c.blanks), c.trimmed) << c.text;
}

}  // namespace
}  // namespace sccevtmon
