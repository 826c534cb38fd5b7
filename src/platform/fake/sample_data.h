#pragma once

#include <stdlib.h>

#include <string>

namespace sccevtmon {

// The folder of the sample .evtx files (tests only): SCCEVTMON_DATA_DIR, else the data folder
// ctest names in SCCEVTMON_TEST_DATA, else ../shared/data beside the repository.
inline std::string sampleEvtxFolder() {
  std::string data;
  if (const char* v = getenv("SCCEVTMON_DATA_DIR"); v != nullptr && *v != '\0') {
    data = v;
  } else if (const char* t = getenv("SCCEVTMON_TEST_DATA"); t != nullptr && *t != '\0') {
    data = t;
  } else {
    data = SCCEVTMON_SOURCE_DIR "/../shared/data";
  }
  return data + "/evtx-samples";
}

}  // namespace sccevtmon
