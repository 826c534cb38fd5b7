#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace sccevtmon {

// The longest value fncGetIniString gives back.
inline constexpr std::size_t kIniStringLength = 554;

// Reads section/key of file through a 555-character buffer into value, exactly as the platform
// returned it (not trimmed; empty when missing), and returns its length. A value longer than
// 554 characters comes back cut to 554.
std::int32_t fncGetIniString(Platform& os, std::string& value, const std::string& section,
                             const std::string& key, const std::string& file);

// The value of section/key of file through a 5000-character buffer, spaces trimmed; empty when
// the file or key is missing or the value blank.
std::string fncReadIniValue(Platform& os, const std::string& section, const std::string& key,
                            const std::string& file);

// Writes section/key = value to file (creating file and section as needed). Returns non-zero
// on success, 0 on failure.
long fncWriteIniValue(Platform& os, const std::string& file, const std::string& section,
                      const std::string& key, const std::string& value);

// The base URL of a section of the server settings file, found through the installation path
// read anew from the registry; ends in '/' when not empty. A non-empty defaultUrl is written
// back when the file holds none, and then used.
std::string fncGetServerURL(Platform& os, const std::string& section,
                            const std::string& defaultUrl);

// A key of a profile file as text: mode non-zero reads it as an integer (default 0) and gives
// its decimal text; mode 0 reads it as text (default empty) through a 255-character buffer.
std::string fncGetProfileValue(Platform& os, const std::string& section, const std::string& key,
                               const std::string& file, std::int16_t mode);

}  // namespace sccevtmon
