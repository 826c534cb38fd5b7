#include "testing/native_fixture.h"

#include <windows.h>

#include "platform/win32/agent_checksum.h"
#include "platform/win32/code_page.h"
#include "platform/win32/com_web_post.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/profile_files.h"
#include "platform/win32/registry.h"

namespace sccevtmon {
namespace {

// Splits "HKEY_LOCAL_MACHINE\SOFTWARE\X" into its root and the path below it.
HKEY splitRoot(const std::string& key, std::string* below) {
  size_t slash = key.find('\\');
  std::string root = key.substr(0, slash);
  *below = slash == std::string::npos ? std::string() : key.substr(slash + 1);
  if (root == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (root == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (root == "HKEY_USERS") return HKEY_USERS;
  return HKEY_LOCAL_MACHINE;
}

// Writes the values into the real registry through the 64-bit view, which addresses both
// views' keys by their full paths, and deletes every key it made afterwards.
class RealRegistryFixture : public RegistryFixture {
 public:
  explicit RealRegistryFixture(const std::vector<RegistryEntry>& values) {
    for (const RegistryEntry& v : values) {
      std::string below;
      HKEY root = splitRoot(v.key, &below);
      HKEY key = nullptr;
      DWORD disposition = 0;
      if (RegCreateKeyExA(root, below.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                          nullptr, &key, &disposition) != ERROR_SUCCESS) {
        continue;
      }
      if (disposition == REG_CREATED_NEW_KEY) created_.emplace_back(root, below);
      if (!(v.name.empty() && v.data.empty() && v.type == kRegNone)) {
        RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                       static_cast<DWORD>(v.data.size()));
      }
      RegCloseKey(key);
    }
  }
  ~RealRegistryFixture() override {
    // Newest first, so that a key goes before the parent made for it.
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(it->first, it->second.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) !=
          ERROR_SUCCESS) {
        continue;
      }
      RegDeleteTreeA(key, nullptr);
      RegCloseKey(key);
      RegDeleteKeyExA(it->first, it->second.c_str(), KEY_WOW64_64KEY, 0);
    }
  }
  Registry& registry() override { return registry_; }

 private:
  std::vector<std::pair<HKEY, std::string>> created_;
  WinRegistry registry_;
};

}  // namespace

std::unique_ptr<RegistryFixture> makeRegistryFixture(const std::vector<RegistryEntry>& values) {
  return std::make_unique<RealRegistryFixture>(values);
}

std::unique_ptr<FileSystem> makeFileSystem() { return std::make_unique<WinFileSystem>(); }

std::unique_ptr<ProfileFiles> makeProfileFiles() { return std::make_unique<WinProfileFiles>(); }

std::string componentsFolder() {
  std::string exe = ownExecutablePath();
  return exe.substr(0, exe.find_last_of('\\')) + "\\test-components";
}

namespace {

// The stand-in is found by its plain name, as the agent's library is: its folder joins the DLL
// search path while the object lives.
class StandInChecksumLibrary : public AgentChecksumLibrary {
 public:
  StandInChecksumLibrary() { SetDllDirectoryA(componentsFolder().c_str()); }
  ~StandInChecksumLibrary() override { SetDllDirectoryA(nullptr); }
};

}  // namespace

std::unique_ptr<ChecksumLibrary> makeChecksumLibrary() {
  return std::make_unique<StandInChecksumLibrary>();
}

std::unique_ptr<WebPostComponents> makeWebPostComponents() {
  return std::make_unique<ComWebPost>();
}

void setReadOnly(const std::string& path, bool readOnly) {
  SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

void useProgramCodePage() { useSystemCodePage(); }

bool runningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace sccevtmon
