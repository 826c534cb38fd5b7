#include "platform/posix/path.h"

namespace sccevtmon {

std::string toPosixPath(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    char mapped = c == '\\' ? '/' : c;
    if (mapped == '/' && !out.empty() && out.back() == '/') continue;
    out += mapped;
  }
  return out;
}

}  // namespace sccevtmon
