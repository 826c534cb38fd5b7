#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/checksum_library.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/web_post_component.h"

namespace sccevtmon {

// What the shared tests (native_behaviour_test.cc, file_system_test.cc and the others beside
// the interfaces) need from the build
// they run in: the build's own registry, private-profile and file-system implementations over
// real data. Defined once in posix/ and once in win32/, in the test binary only
// (native_fixture_test.cc).

// One value to lay into the registry. key is the full path as the 64-bit view shows it
// ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\X" for what the 32-bit view shows as SOFTWARE\X);
// an empty name is the key's default value. Text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// are ANSI with their NULs; other types hold raw bytes.
struct RegistryEntry {
  std::string key;
  std::string name;
  std::uint32_t type = 0;
  std::string data;
};

// A registry that holds exactly the given keys and values for its lifetime (and a key with
// no values for every key named).
class RegistryFixture {
 public:
  virtual ~RegistryFixture() = default;
  virtual Registry& registry() = 0;
};
std::unique_ptr<RegistryFixture> makeRegistryFixture(const std::vector<RegistryEntry>& values);

// The build's private-profile functions and file-system object.
std::unique_ptr<ProfileFiles> makeProfileFiles();
std::unique_ptr<FileSystem> makeFileSystem();

// The build's checksum library and web-post component: on Windows the agent's, loaded from
// the test-only stand-ins (componentsFolder; the web-post one registered by
// scripts/test-windows).
std::unique_ptr<ChecksumLibrary> makeChecksumLibrary();
std::unique_ptr<WebPostComponents> makeWebPostComponents();

// A post of xml to url, as the web-post routine makes it.
inline PostXmlCall postCall(const std::string& url, const std::string& xml = "<a>1</a>") {
  PostXmlCall call;
  call.xml = xml;
  call.url = url;
  return call;
}
#ifdef _WIN32
// The folder of the stand-ins for the agent's components: test-components/ beside the test
// executable.
std::string componentsFolder();
#endif

// Makes a file read-only (or writable again).
void setReadOnly(const std::string& path, bool readOnly);

// Installs the code page the build's program converts with: the system's ANSI code page on
// Windows; the portable build keeps Windows-1252.
void useProgramCodePage();

// Whether the tests run under wine, which differs from Windows in a few known places.
bool runningUnderWine();

}  // namespace sccevtmon
