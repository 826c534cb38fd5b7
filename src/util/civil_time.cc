#include "util/civil_time.h"

namespace sccevtmon {

long long daysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil.
  long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long mp = (month + 9) % 12;
  long long doy = (153 * mp + 2) / 5 + day - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

long long civilSeconds(const LocalTime& t) {
  return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL +
         t.second;
}

LocalTime fromCivilSeconds(long long seconds) {
  long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  long long rest = seconds - days * 86400;
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return {static_cast<int>(y),
          static_cast<int>(m),
          static_cast<int>(d),
          static_cast<int>(rest / 3600),
          static_cast<int>(rest / 60 % 60),
          static_cast<int>(rest % 60)};
}

LocalTime addSeconds(const LocalTime& t, long long seconds) {
  return fromCivilSeconds(civilSeconds(t) + seconds);
}

bool isValidLocalTime(const LocalTime& t) {
  if (t.month < 1 || t.month > 12 || t.day < 1) return false;
  if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
    return false;
  }
  return fromCivilSeconds(civilSeconds(t)) == t;
}

}  // namespace sccevtmon
