#pragma once

#include "platform/profile.h"

namespace sccevtmon {

// The private-profile functions of Windows themselves.
class WinProfileFiles : public ProfileFiles {
 public:
  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::string& buffer,
                          const std::string& file) override;
  std::int32_t getInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                      const std::string& file) override;
  Status writeString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override;
};

}  // namespace sccevtmon
