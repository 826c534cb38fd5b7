#include "platform/posix/path.h"

#include "util/text_encoding.h"

namespace sccevtmon {

std::string withPosixSeparators(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    char mapped = c == '\\' ? '/' : c;
    if (mapped == '/' && !out.empty() && out.back() == '/') continue;
    out += mapped;
  }
  return out;
}

std::string toPosixPath(const std::string& path) { return ansiToUtf8(withPosixSeparators(path)); }

std::optional<std::string> fromPosixName(std::string_view name) { return utf8ToAnsiExactly(name); }

}  // namespace sccevtmon
