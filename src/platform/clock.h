#pragma once

#include "util/civil_time.h"

namespace sccevtmon {

class Clock {
 public:
  virtual ~Clock() = default;
  // The machine's local time now.
  virtual LocalTime now() = 0;
};

}  // namespace sccevtmon
