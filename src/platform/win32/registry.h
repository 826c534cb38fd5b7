#pragma once

#include "platform/registry.h"

namespace sccevtmon {

// The Windows registry through the ANSI functions. A key opened without a view flag is opened
// in the 32-bit view, so that the 64-bit build reads the same keys as the 32-bit one (and as the
// agent, a 32-bit program, writes them).
class WinRegistry : public Registry {
 public:
  Status openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                 RegistryKey* key) override;
  Status queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                    std::string* data, std::uint32_t* size) override;
  void closeKey(RegistryKey key) override;
};

}  // namespace sccevtmon
