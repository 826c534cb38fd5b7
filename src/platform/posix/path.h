#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sccevtmon {

// The program's paths are Windows-shaped ANSI (Windows-1252) text; the file system's names
// are UTF-8 with '/' separators.

// The path with POSIX separators, still the program's text: every '\' becomes '/', and
// repeated separators collapse into one. "/opt/torven\\SCCPostLogs\x.xml" maps to
// "/opt/torven/SCCPostLogs/x.xml". For paths shown in texts, and for paths that are the file
// system's own already (from the environment).
std::string withPosixSeparators(const std::string& path);

// The file system's name of a path of the program: withPosixSeparators, then UTF-8. Every
// path the file layer hands to the system goes through it.
std::string toPosixPath(const std::string& path);

// The program's text of a name the file system gives (a folder listing's entry), or nothing
// when Windows-1252 cannot hold it (such a name matches nothing the program asks for).
std::optional<std::string> fromPosixName(std::string_view name);

}  // namespace sccevtmon
