#pragma once

#include <string>

namespace sccevtmon {

// The file layer's only change to a Windows-shaped path: every '\' becomes '/', and repeated
// separators collapse into one. "/opt/torven\\SCCPostLogs\x.xml" maps to
// "/opt/torven/SCCPostLogs/x.xml".
std::string toPosixPath(const std::string& path);

}  // namespace sccevtmon
