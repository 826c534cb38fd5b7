#pragma once

#include <map>
#include <string>

#include "platform/profile.h"
#include "platform/profile_text.h"

namespace sccevtmon {

// Private-profile files held in memory by path, following the same rules as the real files.
class FakeProfileFiles : public ProfileFiles {
 public:
  std::map<std::string, std::string> files;  // path -> content
  Status failWrite;                          // returned by every write when not ok
  int writeCount = 0;

  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::string& buffer,
                          const std::string& file) override {
    auto it = files.find(file);
    std::optional<std::string> value;
    if (it != files.end()) value = profileLookup(it->second, section, key);
    return profileCopyToBuffer(value ? *value : defaultValue, buffer);
  }

  std::int32_t getInt(const std::string& section, const std::string& key,
                      std::int32_t defaultValue, const std::string& file) override {
    auto it = files.find(file);
    if (it == files.end()) return defaultValue;
    auto value = profileLookup(it->second, section, key);
    return value ? profileInteger(*value) : defaultValue;
  }

  Status writeString(const std::string& section, const std::string& key,
                     const std::string& value, const std::string& file) override {
    ++writeCount;
    if (!failWrite.ok()) return failWrite;
    files[file] = profileUpdate(files[file], section, key, value);
    return Status::success();
  }

  // The value as the real functions would read it, or "<missing>".
  std::string value(const std::string& file, const std::string& section, const std::string& key) {
    auto it = files.find(file);
    if (it == files.end()) return "<missing>";
    auto v = profileLookup(it->second, section, key);
    return v ? *v : "<missing>";
  }
};

}  // namespace sccevtmon
