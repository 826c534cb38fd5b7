#include "platform/posix/clock.h"

#include <ctime>

namespace sccevtmon {

LocalTime PosixClock::now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

long long utcToLocalCivil(long long utcSeconds) {
  std::time_t t = static_cast<std::time_t>(utcSeconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return utcSeconds;
  return civilSeconds(
      LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

}  // namespace sccevtmon
