#include "platform/win32/profile_files.h"

#include <windows.h>

#include "platform/win32/error.h"

namespace sccevtmon {

std::uint32_t WinProfileFiles::getString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::string& buffer,
                                         const std::string& file) {
  if (buffer.empty()) return 0;
  return GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                  static_cast<DWORD>(buffer.size()), file.c_str());
}

std::int32_t WinProfileFiles::getInt(const std::string& section, const std::string& key,
                                     std::int32_t defaultValue, const std::string& file) {
  return static_cast<std::int32_t>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, file.c_str()));
}

Status WinProfileFiles::writeString(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& file) {
  if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
    return Status::success();
  }
  return win32Error(GetLastError());
}

}  // namespace sccevtmon
