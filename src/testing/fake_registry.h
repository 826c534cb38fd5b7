#pragma once

#include <map>
#include <string>

#include "platform/registry.h"

namespace sccevtmon {

// An in-memory registry. Keys are full paths such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\TORVEN"; views are applied as on 64-bit Windows.
class FakeRegistry : public Registry {
 public:
  struct Value {
    std::uint32_t type = kRegSz;
    std::string data;  // REG_SZ: text without NUL
  };

  void setString(const std::string& key, const std::string& name, const std::string& text) {
    keys_[lower(key)][lower(name)] = {kRegSz, text};
  }
  void setValue(const std::string& key, const std::string& name, std::uint32_t type,
                const std::string& bytes) {
    keys_[lower(key)][lower(name)] = {type, bytes};
  }
  void addKey(const std::string& key) { keys_[lower(key)]; }

  long failOpen = 0;        // when set, every open fails with this code
  std::string unavailable;  // what unavailableReason() answers
  std::string unavailableReason() const override { return unavailable; }
  long failQuery = 0;  // when set, every query fails with this code
  int openCount = 0;
  int closeCount = 0;
  std::map<RegistryKey, std::uint32_t> accessOf;  // access mask of each successful open

  Status openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                 RegistryKey* key) override;
  Status queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                    std::string* data, std::uint32_t* size) override;
  void closeKey(RegistryKey key) override;

  int openKeys() const { return static_cast<int>(open_.size()); }

 private:
  static std::string lower(std::string s);
  std::map<std::string, std::map<std::string, Value>> keys_;
  std::map<RegistryKey, std::string> open_;
  RegistryKey next_ = 1;
};

}  // namespace sccevtmon
