#pragma once

#include <string>

#include "platform/profile.h"
#include "testing/fake_file_system.h"
#include "util/profile_text.h"

namespace sccevtmon {

// Private-profile files kept in a FakeFileSystem, following the same rules as the real ones.
class FakeProfileFiles : public ProfileFiles {
 public:
  explicit FakeProfileFiles(FakeFileSystem& files) : files_(files) {}

  Status failWrite;  // returned by every write when not ok
  int writeCount = 0;

  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::string& buffer,
                          const std::string& file) override {
    std::optional<std::string> value;
    if (files_.hasFile(file)) {
      value = profileLookup(profileTextOf(files_.content(file)), section, key);
    }
    return profileCopyToBuffer(profileStringOrDefault(value, defaultValue), buffer);
  }

  std::int32_t getInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                      const std::string& file) override {
    if (!files_.hasFile(file)) return defaultValue;
    auto value = profileLookup(profileTextOf(files_.content(file)), section, key);
    return profileIntegerOrDefault(value, defaultValue);
  }

  Status writeString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override {
    ++writeCount;
    if (!failWrite.ok()) return failWrite;
    std::string path = FakeFileSystem::normalise(file);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !files_.folders.count(path.substr(0, slash))) {
      return {kErrorPathNotFound, "The system cannot find the path specified."};
    }
    files_.files[path].content = profileUpdate(files_.content(file), section, key, value);
    return Status::success();
  }

  // The value as the real functions would read it, or "<missing>".
  std::string value(const std::string& file, const std::string& section, const std::string& key) {
    if (!files_.hasFile(file)) return "<missing>";
    auto v = profileLookup(files_.content(file), section, key);
    return v ? *v : "<missing>";
  }

 private:
  FakeFileSystem& files_;
};

}  // namespace sccevtmon
