#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "util/status.h"

namespace sccevtmon {

// The registry read from a file in the registry export format ("Windows Registry Editor
// Version 5.00" in UTF-16LE or UTF-8, or "REGEDIT4" in ANSI). The file is read once, on first
// use. A missing or malformed file opens no key; unavailableReason() says why (file, line,
// reason).
class RegistryFile : public Registry {
 public:
  explicit RegistryFile(std::string path);

  Status openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                 RegistryKey* key) override;
  Status queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                    std::string* data, std::uint32_t* size) override;
  void closeKey(RegistryKey key) override;
  std::string unavailableReason() const override;
  std::string sourceName() const override { return "registry file " + path_; }

  // Parses registry export text (already decoded to UTF-8 when unicode is set, ANSI otherwise).
  // Returns the error ("line N: reason") or nothing.
  std::optional<std::string> parse(const std::string& text, bool unicode);

 private:
  struct Value {
    std::uint32_t type = 0;
    std::string data;    // REG_SZ: ANSI text without NUL; others: raw bytes
    bool utf16 = false;  // hex(2)/hex(7) data written as UTF-16LE
  };
  struct Key {
    std::map<std::string, Value> values;  // by lower-cased name
  };

  void load();

  std::string path_;
  bool loaded_ = false;
  std::string problem_;
  std::map<std::string, Key> keys_;  // by lower-cased full path
  std::map<RegistryKey, std::string> open_;
  RegistryKey next_ = 1;
};

}  // namespace sccevtmon
