#pragma once

#include "platform/clock.h"

namespace sccevtmon {

// The system's local time (GetLocalTime).
class WinClock : public Clock {
 public:
  LocalTime now() override;
};

}  // namespace sccevtmon
