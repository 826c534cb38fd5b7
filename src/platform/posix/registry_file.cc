#include "platform/posix/registry_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/bounded_read.h"
#include "platform/posix/path.h"
#include "util/ascii.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

std::string trimBlank(const std::string& s) { return std::string(trimAscii(s)); }

const char* rootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kUsers:
      return "HKEY_USERS";
    case RegistryRoot::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

bool knownRoot(const std::string& path) {
  std::string first = asciiLower(path.substr(0, path.find('\\')));
  return first == "hkey_local_machine" || first == "hkey_current_user" ||
         first == "hkey_classes_root" || first == "hkey_users" || first == "hkey_current_config";
}

// Reads a quoted text starting at s[pos] == '"'; handles the \\ and \" escapes. Returns the
// index after the closing quote, or npos when the text is not closed.
size_t readQuoted(const std::string& s, size_t pos, std::string* out) {
  out->clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      *out += s[i + 1];
      ++i;
    } else if (c == '"') {
      return i + 1;
    } else {
      *out += c;
    }
  }
  return std::string::npos;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses "xx,xx,..." (blanks and line continuations already removed) into bytes.
bool parseHexBytes(const std::string& text, std::string* out) {
  out->clear();
  std::string t;
  for (char c : text) {
    if (c != ' ' && c != '\t') t += c;
  }
  if (t.empty()) return true;
  std::stringstream ss(t);
  std::string item;
  while (std::getline(ss, item, ',')) {
    if (item.empty() || item.size() > 2) return false;
    int v = 0;
    for (char c : item) {
      int d = hexDigit(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    *out += static_cast<char>(v);
  }
  return t.back() != ',';
}

}  // namespace

RegistryFile::RegistryFile(std::string path) : path_(std::move(path)) {}

void RegistryFile::load() {
  if (loaded_) return;
  loaded_ = true;
  // The path comes from the environment: a name of the file system already, not ANSI text.
  // Only a regular file of at most 16 MiB is read: a pipe would hang the run, a device never
  // end.
  std::string bytes;
  if (int err = readBoundedFile(withPosixSeparators(path_), kMaxSettingsFileBytes, &bytes);
      err != 0) {
    const char* why = err == EINVAL  ? "not a regular file"
                      : err == EFBIG ? "larger than 16 MiB"
                                     : std::strerror(err);
    problem_ = "cannot read registry file " + path_ + ": " + why;
    return;
  }
  std::string text;
  bool unicode = true;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = utf16leToUtf8(std::string_view(bytes).substr(2));
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = bytes.substr(3);
  } else if (bytes.compare(0, 8, "REGEDIT4") == 0) {
    text = bytes;
    unicode = false;
  } else {
    text = bytes;
  }
  if (auto error = parse(text, unicode)) {
    problem_ = "registry file " + path_ + " " + *error;
    keys_.clear();
  }
}

std::optional<std::string> RegistryFile::parse(const std::string& text, bool unicode) {
  std::vector<std::string> lines;
  {
    std::string line;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
      } else {
        line += text[i];
      }
    }
  }
  auto where = [](size_t index) { return "line " + std::to_string(index + 1) + ": "; };
  auto toAnsi = [&](const std::string& s) { return unicode ? utf8ToAnsi(s) : s; };

  size_t i = 0;
  while (i < lines.size() && trimBlank(lines[i]).empty()) ++i;
  if (i == lines.size()) return "line 1: empty file, no registry header";
  std::string header = trimBlank(lines[i]);
  if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
    return where(i) + "expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
  }
  bool regedit4 = header == "REGEDIT4";

  std::string current;  // lower-cased key path; empty before the first key
  bool currentDeleted = false;
  for (++i; i < lines.size(); ++i) {
    std::string line = trimBlank(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return where(i) + "key line without closing ']'";
      std::string path = line.substr(1, line.size() - 2);
      bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      while (!path.empty() && path.back() == '\\') path.pop_back();
      if (!knownRoot(path)) return where(i) + "unknown root key in [" + path + "]";
      current = asciiLower(path);
      currentDeleted = remove;
      if (remove) {
        for (auto it = keys_.begin(); it != keys_.end();) {
          if (it->first == current || it->first.rfind(current + "\\", 0) == 0) {
            it = keys_.erase(it);
          } else {
            ++it;
          }
        }
        continue;
      }
      // A key implies its ancestors.
      for (size_t p = current.find('\\'); p != std::string::npos; p = current.find('\\', p + 1)) {
        keys_[current.substr(0, p)];
      }
      keys_[current];
      continue;
    }
    if (line[0] != '"' && line[0] != '@') return where(i) + "not a key, value or comment line";
    if (current.empty()) return where(i) + "value before the first key";
    size_t startLine = i;
    std::string name;
    size_t pos = 1;
    if (line[0] == '"') {
      pos = readQuoted(line, 0, &name);
      if (pos == std::string::npos) return where(i) + "value name without closing quote";
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return where(i) + "expected '=' after value name";
    std::string data = trimBlank(line.substr(pos + 1));
    // Hex data may continue over several lines, each ending in '\'.
    if (asciiStartsWithNoCase(data, "hex")) {
      while (!data.empty() && data.back() == '\\') {
        data.pop_back();
        if (i + 1 >= lines.size()) return where(i) + "line continuation at the end of the file";
        data += trimBlank(lines[++i]);
      }
    }
    Value value;
    if (data == "-") {
      if (!currentDeleted) keys_[current].values.erase(asciiLower(toAnsi(name)));
      continue;
    } else if (!data.empty() && data[0] == '"') {
      std::string s;
      size_t end = readQuoted(data, 0, &s);
      if (end == std::string::npos || end != data.size()) {
        return where(startLine) + "string value without closing quote";
      }
      value.type = kRegSz;
      value.data = toAnsi(s);
    } else if (asciiStartsWithNoCase(data, "dword:")) {
      std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) return where(startLine) + "bad dword value";
      std::uint32_t v = 0;
      for (char c : digits) {
        int d = hexDigit(c);
        if (d < 0) return where(startLine) + "bad dword value";
        v = v * 16 + static_cast<std::uint32_t>(d);
      }
      value.type = kRegDword;
      for (int k = 0; k < 4; ++k) value.data += static_cast<char>((v >> (8 * k)) & 0xFF);
    } else if (asciiStartsWithNoCase(data, "hex")) {
      size_t colon = data.find(':');
      if (colon == std::string::npos) return where(startLine) + "bad hex value";
      std::string kind = data.substr(3, colon - 3);
      if (kind.empty()) {
        value.type = kRegBinary;
      } else {
        if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
          return where(startLine) + "bad hex value type";
        }
        std::uint32_t t = 0;
        for (char c : kind.substr(1, kind.size() - 2)) {
          int d = hexDigit(c);
          if (d < 0) return where(startLine) + "bad hex value type";
          t = t * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = t;
      }
      if (!parseHexBytes(data.substr(colon + 1), &value.data)) {
        return where(startLine) + "bad hex data";
      }
      value.utf16 = !regedit4 && (value.type == kRegExpandSz || value.type == kRegMultiSz);
    } else {
      return where(startLine) + "unrecognised value data";
    }
    if (!currentDeleted) keys_[current].values[asciiLower(toAnsi(name))] = value;
  }
  return std::nullopt;
}

Status RegistryFile::openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                             RegistryKey* key) {
  *key = 0;
  load();
  if (!problem_.empty()) return Status::systemError(kErrorFileNotFound);
  std::string sub = subKey;
  while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  // A 32-bit process sees HKLM\SOFTWARE\X through SOFTWARE\WOW6432Node\X unless it asks for
  // the 64-bit view.
  if (root == RegistryRoot::kLocalMachine && (access & kKeyWow64_64Key) == 0 &&
      asciiStartsWithNoCase(sub, "SOFTWARE\\") &&
      !asciiStartsWithNoCase(sub, "SOFTWARE\\WOW6432Node")) {
    sub = sub.substr(0, 9) + "WOW6432Node\\" + sub.substr(9);
  }
  std::string path = asciiLower(std::string(rootName(root)) + (sub.empty() ? "" : "\\" + sub));
  if (keys_.find(path) == keys_.end()) return Status::systemError(kErrorFileNotFound);
  *key = next_++;
  open_[*key] = path;
  return Status::success();
}

Status RegistryFile::queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                                std::string* data, std::uint32_t* size) {
  auto handle = open_.find(key);
  if (handle == open_.end()) return Status::systemError(kErrorInvalidHandle);
  const Key& k = keys_[handle->second];
  auto it = k.values.find(asciiLower(name));
  if (it == k.values.end()) return Status::systemError(kErrorFileNotFound);
  const Value& v = it->second;
  std::string bytes;
  if (v.type == kRegSz) {
    bytes = v.data + '\0';
  } else if (v.utf16) {
    bytes = utf16leToAnsi(v.data);
  } else {
    bytes = v.data;
  }
  if (type) *type = v.type;
  return copyRegistryData(bytes, data, size);
}

void RegistryFile::closeKey(RegistryKey key) { open_.erase(key); }

std::string RegistryFile::unavailableReason() const { return problem_; }

}  // namespace sccevtmon
