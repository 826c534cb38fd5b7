#pragma once

#include <stdlib.h>
#include <time.h>

#include <string>

namespace sccevtmon {

#ifdef _WIN32
// The C run-time's spellings.
inline int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
inline void tzset() { _tzset(); }
#endif

// Sets TZ for the life of the object and restores it afterwards (tests only). On Windows only
// the C run-time's time functions follow TZ; the system's zone stays as it is.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

}  // namespace sccevtmon
