#pragma once

#include "platform/clock.h"

namespace sccevtmon {

// Local time from the C library (TZ honoured).
class PosixClock : public Clock {
 public:
  LocalTime now() override;
};

}  // namespace sccevtmon
