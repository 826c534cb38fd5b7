#pragma once

#include "util/civil_time.h"

namespace sccevtmon {

class Clock {
 public:
  virtual ~Clock() = default;
  // The machine's local time now.
  virtual LocalTime now() = 0;
};

// The machine's local civil time of a UTC time (seconds since 1970-01-01 00:00:00 UTC), as
// seconds of the civil calendar (see civilSeconds). Each platform defines it: the C library's
// local time on the portable build (TZ counts), the system's time zone on Windows.
long long utcToLocalCivil(long long utcSeconds);

}  // namespace sccevtmon
