#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "platform/platform.h"

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

// This computer's own file system, for tests and benchmarks that read real files.
inline FileSystem& hostFiles() { return systemPlatform().files; }

// Runs a shell command and collects its standard output; false when it cannot be run or
// exits with an error.
inline bool commandOutput(const std::string& command, std::string* text) {
#ifdef _WIN32
  FILE* pipe = _popen(command.c_str(), "rb");
#else
  FILE* pipe = popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return false;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text->append(buffer, n);
#ifdef _WIN32
  return _pclose(pipe) == 0;
#else
  return pclose(pipe) == 0;
#endif
}

}  // namespace sccevtmon
