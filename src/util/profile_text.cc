#include "util/profile_text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "util/ascii.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

std::string_view trimBlank(std::string_view s) { return trimAscii(s); }

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string_view> splitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The section name of a header line, or nothing when the line is not one. The name ends at
// the line's last ']', as Windows reads it; text after it is ignored.
std::optional<std::string_view> sectionOf(std::string_view line) {
  std::string_view t = trimBlank(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trimBlank(t.substr(1, close - 1));
}

// Splits a key line into name and raw value; nothing for comments and lines without '='.
bool keyOf(std::string_view line, std::string_view* name, std::string_view* value) {
  std::string_view t = trimBlank(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *name = trimBlank(t.substr(0, eq));
  *value = trimBlank(t.substr(eq + 1));
  return true;
}

}  // namespace

std::optional<std::string> profileLookup(std::string_view content, std::string_view section,
                                         std::string_view key) {
  bool inSection = false;
  std::string_view wantSection = trimBlank(section);
  std::string_view wantKey = trimBlank(key);
  for (std::string_view line : splitLines(content)) {
    if (auto s = sectionOf(line)) {
      if (inSection) break;  // a later section of the same name is not read
      inSection = equalNoCase(*s, wantSection);
      continue;
    }
    if (!inSection) continue;
    std::string_view name, value;
    if (!keyOf(line, &name, &value) || !equalNoCase(name, wantKey)) continue;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

std::vector<std::string> profileSectionNames(std::string_view content) {
  std::vector<std::string> names;
  for (std::string_view line : splitLines(content)) {
    if (std::optional<std::string_view> name = sectionOf(line)) names.emplace_back(*name);
  }
  return names;
}

std::int32_t profileInteger(std::string_view value) {
  std::string_view t = trimBlank(value);
  bool negative = false;
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
    negative = t[i] == '-';
    ++i;
  }
  std::uint32_t n = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    n = n * 10 + static_cast<std::uint32_t>(t[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - n : n);
}

std::string_view profileStringOrDefault(const std::optional<std::string>& value,
                                        std::string_view defaultValue) {
  if (value) return *value;
  size_t end = defaultValue.find_last_not_of(' ');
  return defaultValue.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

std::int32_t profileIntegerOrDefault(const std::optional<std::string>& value,
                                     std::int32_t defaultValue) {
  return value && !value->empty() ? profileInteger(*value) : defaultValue;
}

std::string profileUpdate(std::string_view content, std::string_view section, std::string_view key,
                          std::string_view value) {
  std::vector<std::string_view> lines = splitLines(content);
  std::string_view wantSection = trimBlank(section);
  std::string_view wantKey = trimBlank(key);
  std::string newLine = std::string(wantKey) + "=" + std::string(value);

  bool inSection = false;
  bool sectionFound = false;
  size_t replaceAt = lines.size();
  size_t insertAfter = lines.size();  // last key line (or header) of the section
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto s = sectionOf(lines[i])) {
      if (sectionFound && inSection) inSection = false;
      if (!sectionFound && equalNoCase(*s, wantSection)) {
        sectionFound = true;
        inSection = true;
        insertAfter = i;
      }
      continue;
    }
    if (!inSection) continue;
    std::string_view name, raw;
    if (keyOf(lines[i], &name, &raw)) {
      insertAfter = i;
      if (replaceAt == lines.size() && equalNoCase(name, wantKey)) replaceAt = i;
    }
  }

  std::string out;
  out.reserve(content.size() + newLine.size() + section.size() + 8);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == replaceAt) {
      std::string_view name, raw;
      keyOf(lines[i], &name, &raw);
      out += std::string(name) + "=" + std::string(value) + "\r\n";
      continue;
    }
    out += lines[i];
    out += "\r\n";
    if (replaceAt == lines.size() && sectionFound && i == insertAfter) out += newLine + "\r\n";
  }
  if (!sectionFound) out += "[" + std::string(wantSection) + "]\r\n" + newLine + "\r\n";
  return out;
}

std::uint32_t profileCopyToBuffer(std::string_view value, std::string& buffer) {
  if (buffer.empty()) return 0;
  size_t n = std::min(value.size(), buffer.size() - 1);
  buffer.replace(0, n, value.substr(0, n));
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

bool isUtf16Profile(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
}

std::string profileTextOf(std::string_view bytes) {
  return isUtf16Profile(bytes) ? utf16leToAnsi(bytes.substr(2)) : std::string(bytes);
}

std::string profileBytesOf(std::string_view text, bool utf16) {
  if (!utf16) return std::string(text);
  std::string out = "\xFF\xFE";
  for (char c : text) {
    // Windows-1252 maps every byte into the basic plane: one UTF-16 unit each.
    char32_t cp = ansiToUnicode(static_cast<unsigned char>(c));
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>((cp >> 8) & 0xFF);
  }
  return out;
}

}  // namespace sccevtmon
