#include "env/identity.h"

#include <cstdint>

#include "base/text.h"

namespace sccevtmon {

std::string fncStripAtNull(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string fncQueryRegString(Platform& os, RegistryKey key, const std::string& name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!os.registry.queryValue(key, name, &type, nullptr, &size).ok()) return {};
  if (type != kRegSz) return {};
  std::string buffer(size, '\0');
  if (!os.registry.queryValue(key, name, &type, &buffer, &size).ok()) return {};
  return fncStripAtNull(buffer);
}

bool fncGetRegInfo(RunState& rs, Platform& os, const std::string& subKey) {
  RegistryKey key = 0;
  if (!os.registry.openKey(RegistryRoot::kLocalMachine, subKey, kKeyRead, &key).ok()) {
    return false;
  }
  rs.installPath = fncQueryRegString(os, key, "InstallationPath");
  std::string trimmed = trimSpaces(rs.installPath);
  if (!trimmed.empty() && trimmed.back() != '\\') rs.installPath += "\\";
  rs.memberId = fncQueryRegString(os, key, "MEMBERID");
  rs.siteId = fncQueryRegString(os, key, "SITEID");
  rs.regId = fncQueryRegString(os, key, "REGID");
  rs.agentType = fncQueryRegString(os, key, "TYPE");
  rs.expectedChecksum = fncQueryRegString(os, key, "EVENT");
  bool complete = !trimSpaces(rs.installPath).empty() && numericValue(rs.regId) != 0 &&
                  numericValue(rs.memberId) != 0 && numericValue(rs.siteId) != 0;
  os.registry.closeKey(key);
  return complete;
}

std::string fncReadRegValue(Platform& os, RegistryRoot root, const std::string& subKey,
                            const std::string& valueName, std::int16_t valueType) {
  RegistryKey key = 0;
  if (!os.registry.openKey(root, subKey, kKeyRead | kKeyWow64_64Key, &key).ok() &&
      !os.registry.openKey(root, subKey, kKeyRead | kKeyWow64_32Key, &key).ok() &&
      !os.registry.openKey(root, subKey, kKeyRead, &key).ok()) {
    return {};
  }
  std::string result;
  std::uint32_t type = 0;
  if (valueType == static_cast<std::int16_t>(kRegSz)) {
    std::string buffer;
    std::uint32_t size = 0;
    Status rc = os.registry.queryValue(key, valueName, &type, &buffer, &size);
    if (rc.isSystemError(kErrorMoreData)) {
      buffer.assign(size, ' ');
      rc = os.registry.queryValue(key, valueName, &type, &buffer, &size);
    }
    if (rc.isSystemError(kErrorFileNotFound)) {
      result.clear();
    } else if (rc.ok()) {
      result = buffer.empty() ? std::string() : buffer.substr(0, buffer.size() - 1);
    } else {
      result = buffer;
    }
  } else if (valueType == static_cast<std::int16_t>(kRegDword)) {
    std::string buffer(4, '\0');
    std::uint32_t size = 4;
    if (os.registry.queryValue(key, valueName, &type, &buffer, &size).ok() && size == 4) {
      std::uint32_t v = 0;
      for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(buffer[k]);
      result = decimal(static_cast<std::int32_t>(v));
    }
  }
  os.registry.closeKey(key);
  return result;
}

std::string fncFormatMessage(Platform& os, const std::string& code) {
  std::string buffer(200, ' ');
  // A system code is 32 bits wide (a negative one names the same code as its unsigned twin);
  // a number outside that range has no message, and never overflows a 32-bit long.
  double value = numericValue(code);
  if (!(value >= -2147483648.0 && value <= 4294967295.0)) return buffer;
  auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
  std::string message = os.process.systemMessage(static_cast<long>(bits));
  if (message.empty()) return buffer;
  message = message.substr(0, 199);
  buffer.replace(0, message.size(), message);
  buffer[message.size()] = '\0';
  return buffer;
}

}  // namespace sccevtmon
