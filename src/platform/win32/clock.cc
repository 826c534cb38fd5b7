#include "platform/win32/clock.h"

#include <windows.h>

#include <map>

namespace sccevtmon {
namespace {

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
constexpr long long kTicksPerSecond = 10000000LL;

LocalTime fromSystemTime(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace

LocalTime WinClock::now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return fromSystemTime(t);
}

// The system's time zone and its daylight-saving rules, not the C run-time's TZ handling,
// which knows nothing of the zone Windows is set to. Each event's own year's rules of the
// dynamic zone (GetTimeZoneInformationForYear), where the plain zone would apply this year's
// to every year: a window across New Year in a zone whose rules changed would map its older
// events wrongly. (SystemTimeToTzSpecificLocalTimeEx does the same, but wine has only a stub
// of it, which ends the process.)
long long utcToLocalCivil(long long utcSeconds) {
  struct Zone {
    DYNAMIC_TIME_ZONE_INFORMATION information{};
    bool known = GetDynamicTimeZoneInformation(&information) != TIME_ZONE_ID_INVALID;
    std::map<WORD, TIME_ZONE_INFORMATION> years;  // a run is too short for the zone to change
  };
  static Zone zone;
  if (utcSeconds < -kSecondsFrom1601To1970) return utcSeconds;
  auto ticks = static_cast<unsigned long long>(utcSeconds + kSecondsFrom1601To1970) *
               static_cast<unsigned long long>(kTicksPerSecond);
  FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&file, &utc)) return utcSeconds;
  const TIME_ZONE_INFORMATION* rules = nullptr;
  if (zone.known) {
    auto found = zone.years.find(utc.wYear);
    if (found == zone.years.end()) {
      TIME_ZONE_INFORMATION year;
      if (GetTimeZoneInformationForYear(utc.wYear, &zone.information, &year)) {
        found = zone.years.emplace(utc.wYear, year).first;
      }
    }
    if (found != zone.years.end()) rules = &found->second;
  }
  if (!SystemTimeToTzSpecificLocalTime(rules, &utc, &local)) return utcSeconds;
  return civilSeconds(fromSystemTime(local));
}

}  // namespace sccevtmon
