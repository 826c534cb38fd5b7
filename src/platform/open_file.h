#pragma once

#include <cstdio>
#include <string>

namespace sccevtmon {

// Opens a file for binary reading by its Windows-shaped path, named the way this build's file
// layer names files (posix/ maps the separators, win32/ passes the path as it is). Null, with
// errno set, when the file cannot be opened. For the readers that stream a file through the C
// library.
std::FILE* openFileForReading(const std::string& path);

}  // namespace sccevtmon
