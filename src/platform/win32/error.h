#pragma once

#include <cstdint>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// The system's message text for a Win32 error code as FormatMessage gives it (ending in CR LF);
// empty when the system has none.
std::string win32Message(std::uint32_t code);

// The run-time error the file-system object raises for a Win32 error code: 2 File not found
// (53), 3 Path not found (76), 5 and 32 Permission denied (70), 80 and 183 File already exists
// (58), 112 Disk full (61), 123 Bad file name or number (52); Device I/O error (57) for the
// rest.
Status runtimeErrorFromWin32(std::uint32_t code);

// A Status carrying a Win32 system error code itself (the system domain) and the system's text
// for it, without its line end.
Status win32Error(std::uint32_t code);

}  // namespace sccevtmon
