#pragma once

namespace sccevtmon {

// A local date and time in whole seconds.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// Calendar arithmetic on the civil date and time, as date serials do it: no time zone and no
// daylight-saving step is involved.

// Days from 1970-01-01 to the given proleptic Gregorian date (negative before it).
long long daysFromCivil(int year, int month, int day);
// Seconds from 1970-01-01 00:00:00 to the given civil time.
long long civilSeconds(const LocalTime& t);
LocalTime fromCivilSeconds(long long seconds);
LocalTime addSeconds(const LocalTime& t, long long seconds);
// Whether the fields form a real date and time.
bool isValidLocalTime(const LocalTime& t);

}  // namespace sccevtmon
