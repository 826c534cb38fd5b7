#include "testing/fake_platform.h"

namespace sccevtmon {

LocalTime FakeClock::now() {
  ++calls;
  LocalTime t = time;
  if (stepSeconds != 0) time = addSeconds(time, stepSeconds);
  return t;
}

}  // namespace sccevtmon
