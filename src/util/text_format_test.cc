#include "util/text_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace sccevtmon {
namespace {

TEST(TextFormatTest, WholeNumbers) {
  constexpr long long kMin = std::numeric_limits<std::int64_t>::min();
  constexpr long long kMax = std::numeric_limits<std::int64_t>::max();
  struct Case {
    long long value;
    int width;  // 0: appendDecimal
    const char* text;
  } cases[] = {
      {0, 0, "0"},
      {42, 0, "42"},
      {-42, 0, "-42"},
      {kMax, 0, "9223372036854775807"},
      {kMin, 0, "-9223372036854775808"},
      {0, 2, "00"},
      {7, 2, "07"},
      {99, 2, "99"},
      {123, 2, "123"},
      {-1, 3, "-01"},
      {-1, 2, "-1"},
      {-123, 2, "-123"},
      {1601, 4, "1601"},
      {7, 4, "0007"},
      {12345, 4, "12345"},
      {kMax, 4, "9223372036854775807"},
      {kMin, 25, "-000009223372036854775808"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    if (c.width == 0) {
      appendDecimal(out, c.value);
    } else {
      appendZeroPadded(out, c.value, c.width);
    }
    EXPECT_EQ(out, std::string("x") + c.text) << c.value << " width " << c.width;
  }
}

TEST(TextFormatTest, TimeTexts) {
  struct Case {
    LocalTime t;
    const char* timestamp;
    const char* fileStamp;
  } cases[] = {
      {{2026, 3, 7, 14, 5, 9}, "03/07/2026 14:05:09", "03072026140509"},
      {{1601, 1, 1, 0, 0, 0}, "01/01/1601 00:00:00", "01011601000000"},
      {{9999, 12, 31, 23, 59, 59}, "12/31/9999 23:59:59", "12319999235959"},
      {{30828, 9, 14, 2, 48, 5}, "09/14/30828 02:48:05", "091430828024805"},
      {{99, 1, 2, 3, 4, 5}, "01/02/0099 03:04:05", "01020099030405"},
      {{0, 0, 0, 0, 0, 0}, "00/00/0000 00:00:00", "00000000000000"},
      {{-1, 100, -5, 24, 60, 61}, "100/-5/-001 24:60:61", "100-5-001246061"},
  };
  for (const Case& c : cases) {
    std::string stamp, file;
    appendTimestamp(stamp, c.t);
    appendFileStamp(file, c.t);
    EXPECT_EQ(stamp, c.timestamp);
    EXPECT_EQ(file, c.fileStamp);
    // Whatever the fields, the result is what printf writes.
    char expected[80];
    std::snprintf(expected, sizeof expected, "%02d/%02d/%04d %02d:%02d:%02d", c.t.month, c.t.day,
                  c.t.year, c.t.hour, c.t.minute, c.t.second);
    EXPECT_EQ(stamp, expected);
  }
}

TEST(TextFormatTest, DoublesAsPercentFifteenG) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {100, "100"},
      {2.5, "2.5"},
      {-3, "-3"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {999999999999999, "999999999999999"},
      {-999999999999999, "-999999999999999"},
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {9223372036854775807.0, "9.22337203685478E+18"},
      {99999999999999.95, "100000000000000"},
      {999999999999999.9, "1E+15"},
      {DBL_MAX, "1.79769313486232E+308"},
      {-DBL_MAX, "-1.79769313486232E+308"},
      {DBL_MIN, "2.2250738585072E-308"},
      {5e-324, "4.94065645841247E-324"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::nan(""), "NAN"},
  };
  for (const Case& c : cases) {
    std::string out;
    appendGeneral15(out, c.value);
    EXPECT_EQ(out, c.text) << c.text;
  }
  // Any double, as printf writes it: random bit patterns cover every exponent.
  std::mt19937_64 random(19);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = random();
    double value;
    static_assert(sizeof value == sizeof bits);
    std::memcpy(&value, &bits, sizeof value);
    if (i % 2) value = std::ldexp(static_cast<double>(bits >> 11), -static_cast<int>(i % 80));
    // How a NaN's sign is printed differs between C runtimes; the table holds the NaN case.
    if (std::isnan(value)) continue;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.15G", value);
    std::string out;
    appendGeneral15(out, value);
    ASSERT_EQ(out, expected) << "bits " << bits;
  }
}

TEST(TextFormatTest, TimestampShapeIsExact) {
  struct Case {
    const char* text;
    bool shape;
  } cases[] = {
      {"03/07/2026 14:05:09", true},
      {"02/30/2026 99:99:99", true},  // the shape only; the date does not exist
      {"3/07/2026 14:05:09", false},
      {"03/07/2026 14:05:09 ", false},
      {" 03/07/2026 14:05:09", false},
      {"03-07-2026 14:05:09", false},
      {"03/07/2026T14:05:09", false},
      {"03/07/2026 14:05", false},
      {"2026-03-07 14:05:09", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(hasTimestampShape(c.text), c.shape) << c.text;
}

}  // namespace
}  // namespace sccevtmon
