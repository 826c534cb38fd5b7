#include "platform/posix/registry_file.h"

#include <gtest/gtest.h>

#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

std::string utf16le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

// The system code of a registry call's result (0 for success).
long code(const Status& s) {
  EXPECT_TRUE(s.ok() || s.domain == ErrorDomain::kSystem) << s.number;
  return s.number;
}

// Reads one value the way the monitor does: type and size first, then the data.
struct Read {
  long rc;
  std::uint32_t type;
  std::string data;
};

Read readValue(Registry& reg, RegistryKey key, const std::string& name) {
  Read r{0, 0, {}};
  std::uint32_t size = 0;
  r.rc = code(reg.queryValue(key, name, &r.type, nullptr, &size));
  if (r.rc != 0) return r;
  r.data.assign(size, '\0');
  r.rc = code(reg.queryValue(key, name, &r.type, &r.data, &size));
  return r;
}

const char* kExport =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; the agent\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN]\r\n"
    "\"InstallationPath\"=\"/opt/torven\"\r\n"
    "\"REGID\"=\"4711\"\r\n"
    "\"Quoted\"=\"a \\\"b\\\" c\\\\d\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"AllBits\"=dword:ffffffff\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,\\\r\n"
    "  00,00\r\n"
    "\"Blob\"=hex:01,02,ff\r\n"
    "\"Eleven\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVEN]\r\n"
    "\"InstallationPath\"=\"/opt/sixtyfour\"\r\n";

class RegistryFileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  RegistryKey open(RegistryFile& reg, const std::string& sub, std::uint32_t access) {
    RegistryKey key = 0;
    EXPECT_EQ(code(reg.openKey(RegistryRoot::kLocalMachine, sub, access, &key)), 0) << sub;
    return key;
  }
};

TEST_F(RegistryFileTest, ThirtyTwoBitViewRedirectsSoftwareKeys) {
  for (const std::string& bytes :
       {std::string(kExport), utf16le(kExport), std::string("\xEF\xBB\xBF") + kExport}) {
    folder.write("reg.reg", bytes);
    RegistryFile reg(folder.file("reg.reg"));
    EXPECT_EQ(reg.unavailableReason(), "");
    for (std::uint32_t access : {kKeyRead, kKeyRead | kKeyWow64_32Key}) {
      RegistryKey key = open(reg, "SOFTWARE\\TORVEN", access);
      EXPECT_EQ(readValue(reg, key, "InstallationPath").data, std::string("/opt/torven\0", 12));
      reg.closeKey(key);
    }
    RegistryKey key = open(reg, "software\\torven", kKeyRead | kKeyWow64_64Key);
    EXPECT_EQ(readValue(reg, key, "installationpath").data, std::string("/opt/sixtyfour\0", 15));
  }
}

TEST_F(RegistryFileTest, ValueTypesAndData) {
  folder.write("reg.reg", kExport);
  RegistryFile reg(folder.file("reg.reg"));
  RegistryKey key = open(reg, "SOFTWARE\\TORVEN", kKeyRead);
  struct Case {
    const char* name;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {"REGID", kRegSz, std::string("4711\0", 5)},
      {"Quoted", kRegSz, std::string("a \"b\" c\\d\0", 10)},
      {"Count", kRegDword, std::string("\x2a\0\0\0", 4)},
      {"AllBits", kRegDword, "\xff\xff\xff\xff"},
      {"Expand", kRegExpandSz, std::string("%A%\0", 4)},
      {"Multi", kRegMultiSz, std::string("a\0b\0\0", 5)},
      {"Blob", kRegBinary, "\x01\x02\xff"},
      {"Eleven", 11, std::string("\x01\0\0\0\0\0\0\0", 8)},
      {"", kRegSz, std::string("default\0", 8)},
  };
  for (const Case& c : cases) {
    Read r = readValue(reg, key, c.name);
    EXPECT_EQ(r.rc, 0) << c.name;
    EXPECT_EQ(r.type, c.type) << c.name;
    EXPECT_EQ(r.data, c.data) << c.name;
  }
  EXPECT_EQ(readValue(reg, key, "Missing").rc, kErrorFileNotFound);

  // A buffer that is too small gives ERROR_MORE_DATA and the size needed.
  std::string small(2, ' ');
  std::uint32_t size = 2, type = 0;
  EXPECT_EQ(code(reg.queryValue(key, "REGID", &type, &small, &size)), kErrorMoreData);
  EXPECT_EQ(size, 5u);
}

TEST_F(RegistryFileTest, MissingKeysAndFiles) {
  folder.write("reg.reg", kExport);
  RegistryFile reg(folder.file("reg.reg"));
  RegistryKey key = 0;
  EXPECT_EQ(code(reg.openKey(RegistryRoot::kLocalMachine, "SOFTWARE\\Other", kKeyRead, &key)),
            kErrorFileNotFound);
  EXPECT_EQ(code(reg.openKey(RegistryRoot::kCurrentUser, "SOFTWARE\\TORVEN", kKeyRead, &key)),
            kErrorFileNotFound);
  // Parents of a key exist.
  EXPECT_EQ(code(reg.openKey(RegistryRoot::kLocalMachine, "SOFTWARE", kKeyRead, &key)), 0);

  RegistryFile missing(folder.file("nope.reg"));
  EXPECT_EQ(code(missing.openKey(RegistryRoot::kLocalMachine, "SOFTWARE\\TORVEN", kKeyRead, &key)),
            kErrorFileNotFound);
  EXPECT_EQ(missing.unavailableReason(),
            "cannot read registry file " + folder.file("nope.reg") + ": No such file or directory");
}

TEST_F(RegistryFileTest, RegEdit4IsAnsi) {
  folder.write("reg.reg",
               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN]\n"
               "\"Name\"=\"caf\xe9\"\n");
  RegistryFile reg(folder.file("reg.reg"));
  RegistryKey key = open(reg, "SOFTWARE\\TORVEN", kKeyRead);
  EXPECT_EQ(readValue(reg, key, "Name").data, std::string("caf\xe9\0", 5));
}

TEST_F(RegistryFileTest, UnicodeTextBecomesAnsi) {
  folder.write("reg.reg",
               "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVEN]\n"
               "\"Name\"=\"caf\xc3\xa9 \xe2\x82\xac \xe4\xb8\xad\"\n");
  RegistryFile reg(folder.file("reg.reg"));
  RegistryKey key = open(reg, "SOFTWARE\\TORVEN", kKeyRead | kKeyWow64_64Key);
  EXPECT_EQ(readValue(reg, key, "Name").data, std::string("caf\xe9 \x80 ?\0", 9));
}

TEST_F(RegistryFileTest, MalformedFileOpensNoKeyAndSaysWhere) {
  struct Case {
    const char* text;
    const char* reason;
  } cases[] = {
      {"Hello\n", "line 1: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""},
      {"REGEDIT4\n\"A\"=\"b\"\n", "line 2: value before the first key"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X\n", "line 2: key line without closing ']'"},
      {"REGEDIT4\n[HKEY_NOWHERE\\X]\n", "line 2: unknown root key in [HKEY_NOWHERE\\X]"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=\"b\n",
       "line 3: string value without closing quote"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=dword:xyz\n", "line 3: bad dword value"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=hex:1,zz\n", "line 3: bad hex data"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\njunk\n", "line 3: not a key, value or comment line"},
  };
  for (const Case& c : cases) {
    folder.write("bad.reg", c.text);
    RegistryFile reg(folder.file("bad.reg"));
    RegistryKey key = 0;
    EXPECT_EQ(code(reg.openKey(RegistryRoot::kLocalMachine, "X", kKeyRead, &key)),
              kErrorFileNotFound);
    EXPECT_EQ(reg.unavailableReason(), "registry file " + folder.file("bad.reg") + " " + c.reason);
  }
}

}  // namespace
}  // namespace sccevtmon
