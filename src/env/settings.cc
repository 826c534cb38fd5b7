#include "env/settings.h"

#include "base/text.h"
#include "env/identity.h"
#include "platform/install_layout.h"

namespace sccevtmon {

std::int32_t fncGetIniString(Platform& os, std::string& value, const std::string& section,
                             const std::string& key, const std::string& file) {
  std::string buffer(kIniStringLength + 1, ' ');
  std::uint32_t n = os.profile.getString(section, key, "", buffer, file);
  value = buffer.substr(0, n);
  return static_cast<std::int32_t>(n);
}

std::string fncReadIniValue(Platform& os, const std::string& section, const std::string& key,
                            const std::string& file) {
  std::string buffer(5000, '\0');
  std::uint32_t n = os.profile.getString(section, key, "", buffer, file);
  std::string withoutNuls;
  for (char c : buffer) {
    if (c != '\0') withoutNuls += c;
  }
  if (trimSpaces(withoutNuls).empty()) return {};
  return trimSpaces(buffer.substr(0, n));
}

long fncWriteIniValue(Platform& os, const std::string& file, const std::string& section,
                      const std::string& key, const std::string& value) {
  return os.profile.writeString(section, key, value, file).ok() ? 1 : 0;
}

std::string fncGetServerURL(Platform& os, const std::string& section,
                            const std::string& defaultUrl) {
  std::string folder =
      fncReadRegValue(os, RegistryRoot::kLocalMachine, layout::kIdentityKey, "InstallationPath", 1);
  std::string trimmed = trimSpaces(folder);
  if (trimmed.empty() || trimmed.back() != '\\') folder += "\\";
  std::string file = folder + layout::kServerSettingsFile;
  std::string url = trimSpaces(fncReadIniValue(os, section, "URL", file));
  if (!defaultUrl.empty() && url.empty()) {
    fncWriteIniValue(os, file, section, "URL", defaultUrl);
    url = defaultUrl;
  }
  std::string check = trimSpaces(url);
  if (!check.empty() && check.back() != '/') url += "/";
  return url;
}

std::string fncGetProfileValue(Platform& os, const std::string& section, const std::string& key,
                               const std::string& file, std::int16_t mode) {
  if (mode != 0) return decimal(os.profile.getInt(section, key, 0, file));
  std::string buffer(255, ' ');
  std::uint32_t n = os.profile.getString(section, key, "", buffer, file);
  return buffer.substr(0, n);
}

}  // namespace sccevtmon
