#include "platform/posix/event_log_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "testing/fake_registry.h"

namespace sccevtmon {
namespace {

TEST(SystemEventLogFolderTest, EnvironmentFirstThenInstallationPath) {
  const char* old = getenv("SCCEVTMON_EVENTLOG_DIR");
  std::string saved = old != nullptr ? old : "";
  FakeRegistry registry;
  unsetenv("SCCEVTMON_EVENTLOG_DIR");
  EXPECT_EQ(systemEventLogFolder(registry), "");
  registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN", "InstallationPath",
                     "/opt/torven");
  EXPECT_EQ(systemEventLogFolder(registry), "/opt/torven\\EventLogs");
  setenv("SCCEVTMON_EVENTLOG_DIR", "/var/logs", 1);
  EXPECT_EQ(systemEventLogFolder(registry), "/var/logs");
  if (old != nullptr) {
    setenv("SCCEVTMON_EVENTLOG_DIR", saved.c_str(), 1);
  } else {
    unsetenv("SCCEVTMON_EVENTLOG_DIR");
  }
}

}  // namespace
}  // namespace sccevtmon
