#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/status.h"

namespace sccevtmon {

// The system's message text for a Win32 error code as FormatMessage gives it (ending in CR LF),
// its inserts filled (see fillInserts); empty when the system has none.
std::string win32Message(std::uint32_t code, const std::vector<std::string>& inserts = {});

// A system text with its inserts (%1 to %99, with or without a !format! after the number)
// replaced by inserts[0], inserts[1], ...; an insert without a value is removed with the
// blank before it (or after it, at the start), so no operator reads a literal "%1".
std::string fillInserts(const std::string& text, const std::vector<std::string>& inserts);

// The run-time error the file-system object raises for a Win32 error code: 2 File not found
// (53), 3 Path not found (76), 5 and 32 Permission denied (70), 80 and 183 File already exists
// (58), 112 Disk full (61), 123 Bad file name or number (52); Device I/O error (57) for the
// rest.
Status runtimeErrorFromWin32(std::uint32_t code);

// A Status carrying a Win32 system error code itself (the system domain) and the system's text
// for it, without its line end.
Status win32Error(std::uint32_t code);

}  // namespace sccevtmon
