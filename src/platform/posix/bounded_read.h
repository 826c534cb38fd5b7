#pragma once

#include <cstdint>
#include <string>

namespace sccevtmon {

// Reads the whole of a regular file of at most maxBytes bytes (a POSIX path). Returns 0, or
// the errno of the failure: EISDIR for a folder, EINVAL for anything else that is not a
// regular file (a pipe, a device), EFBIG for a larger file. Opening never blocks, so a pipe
// put where a file belongs cannot hang the run.
int readBoundedFile(const std::string& path, std::uint64_t maxBytes, std::string* bytes);

}  // namespace sccevtmon
