#include "testing/native_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/posix/file_system.h"
#include "platform/posix/openssl_checksum.h"
#include "platform/posix/profile_files.h"
#include "platform/posix/registry_file.h"
#include "platform/posix/web_post_curl.h"
#include "testing/temp_folder.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

std::string hexBytes(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ',';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// ANSI text as the UTF-16LE bytes regedit writes for expandable and multi-string values.
std::string ansiToUtf16le(const std::string& ansi) {
  std::string out;
  for (unsigned char c : ansi) {
    char32_t u = ansiToUnicode(c);
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

// The values as a registry export (version 5, UTF-8), one key section each.
std::string exportText(const std::vector<RegistryEntry>& values) {
  std::string text = "Windows Registry Editor Version 5.00\r\n";
  std::string key;
  for (const RegistryEntry& v : values) {
    if (v.key != key) {
      key = v.key;
      text += "\r\n[" + ansiToUtf8(key) + "]\r\n";
    }
    if (v.name.empty() && v.data.empty() && v.type == kRegNone) continue;  // the key alone
    text += v.name.empty() ? "@" : "\"" + ansiToUtf8(v.name) + "\"";
    text += "=";
    switch (v.type) {
      case kRegSz: {
        std::string escaped;
        for (char c : v.data.substr(0, v.data.find('\0'))) {
          if (c == '\\' || c == '"') escaped += '\\';
          escaped += c;
        }
        text += "\"" + ansiToUtf8(escaped) + "\"";
        break;
      }
      case kRegExpandSz:
      case kRegMultiSz:
        text += "hex(" + std::to_string(v.type) + "):" + hexBytes(ansiToUtf16le(v.data));
        break;
      case kRegBinary:
        text += "hex:" + hexBytes(v.data);
        break;
      default:
        text += "hex(" + std::to_string(v.type) + "):" + hexBytes(v.data);
    }
    text += "\r\n";
  }
  return text;
}

class FileRegistryFixture : public RegistryFixture {
 public:
  explicit FileRegistryFixture(const std::vector<RegistryEntry>& values)
      : registry_(
            (folder_.write("registry.reg", exportText(values)), folder_.file("registry.reg"))) {}
  Registry& registry() override { return registry_; }

 private:
  TempFolder folder_;
  RegistryFile registry_;
};

}  // namespace

std::unique_ptr<RegistryFixture> makeRegistryFixture(const std::vector<RegistryEntry>& values) {
  return std::make_unique<FileRegistryFixture>(values);
}

std::unique_ptr<FileSystem> makeFileSystem() { return std::make_unique<PosixFileSystem>(); }

std::unique_ptr<ProfileFiles> makeProfileFiles() { return std::make_unique<PosixProfileFiles>(); }

std::unique_ptr<ChecksumLibrary> makeChecksumLibrary() {
  return std::make_unique<OpenSslChecksum>();
}

// Time-outs short enough for a test that waits on them, long enough for a loaded machine.
// The tests post to loopback only, whatever proxy the machine names.
std::unique_ptr<WebPostComponents> makeWebPostComponents() {
  ::setenv("no_proxy", "*", 1);
  return std::make_unique<CurlWebPost>(CurlWebPost::Timeouts{2'000, 5'000});
}

void setReadOnly(const std::string& path, bool readOnly) {
  ::chmod(path.c_str(), readOnly ? 0444 : 0644);
}

void useProgramCodePage() {}

bool runningUnderWine() { return false; }

}  // namespace sccevtmon
