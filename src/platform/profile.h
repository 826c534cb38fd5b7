#pragma once

#include <cstdint>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// The private-profile (INI) functions. Section and key names compare without regard to case.
class ProfileFiles {
 public:
  virtual ~ProfileFiles() = default;

  // GetPrivateProfileStringA: copies the value (or defaultValue) into buffer, whose size() is the
  // capacity, cut to capacity - 1 characters and followed by a NUL; the rest of the buffer is
  // left as it was. Returns the number of characters copied (without the NUL).
  virtual std::uint32_t getString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, std::string& buffer,
                                  const std::string& file) = 0;

  // GetPrivateProfileIntA: the value's leading decimal number, or defaultValue when the file,
  // section or key is missing.
  virtual std::int32_t getInt(const std::string& section, const std::string& key,
                              std::int32_t defaultValue, const std::string& file) = 0;

  // WritePrivateProfileStringA: creates file, section and key as needed and replaces an
  // existing value in place. A failure (errors 5, 3, ...) leaves the file unchanged.
  virtual Status writeString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) = 0;
};

}  // namespace sccevtmon
