// One table of registry and private-profile cases, run against the portable stand-ins on Linux
// and against the Windows functions themselves (under wine in CI), so that the stand-ins are
// held to what Windows does.
#include <gtest/gtest.h>

#include <random>

#include "testing/native_fixture.h"
#include "testing/temp_folder.h"

namespace sccevtmon {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------------------------
// Registry

// A key name of this process alone: the real registry is shared by tests running side by side.
const std::string kTestKey = "sccevtmon-test-" + std::to_string(std::random_device()());

std::vector<RegistryEntry> registryContent() {
  const std::string wow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\" + kTestKey;
  const std::string native = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + kTestKey;
  const std::string user = "HKEY_CURRENT_USER\\Software\\" + kTestKey;
  return {
      {wow, "Text", kRegSz, "hello\0"s},
      {wow, "Empty", kRegSz, "\0"s},
      {wow, "Accent", kRegSz, "caf\xE9\0"s},
      {wow, "Quoted", kRegSz, "a \"b\" c\\d\0"s},
      {wow, "Path", kRegExpandSz, "%SystemRoot%\\x\0"s},
      {wow, "List", kRegMultiSz, "a\0bc\0\0"s},
      {wow, "Number", kRegDword, "\x2a\0\0\0"s},
      {wow, "Blob", kRegBinary, "\x01\x02\xff"s},
      {wow, "", kRegSz, "dflt\0"s},
      {wow, "Mixed Case", kRegSz, "m\0"s},
      {native, "Text", kRegSz, "sixty-four\0"s},
      {native + "\\OnlyIn64", "", kRegNone, ""},
      {user, "User", kRegSz, "u\0"s},
  };
}

constexpr std::uint32_t k32 = kKeyRead | kKeyWow64_32Key;
constexpr std::uint32_t k64 = kKeyRead | kKeyWow64_64Key;
constexpr std::int64_t kSizeOnly = -1;  // query with no data buffer

struct RegistryCase {
  const char* name;
  RegistryRoot root;
  std::string subKey;  // "*" stands for the test key
  std::uint32_t access;
  std::string value;
  std::int64_t capacity;  // the data buffer's size, or kSizeOnly
  long openRc;
  long queryRc;
  std::uint32_t type;  // expected on success
  std::string data;    // expected on success with a buffer
  std::uint32_t size;  // expected on success and with kErrorMoreData
};

void PrintTo(const RegistryCase& c, std::ostream* out) { *out << c.name; }

constexpr auto kLm = RegistryRoot::kLocalMachine;
const RegistryCase kRegistryCases[] = {
    // Views: the 32-bit view unless the 64-bit one is asked for; HKCU has no views here.
    {"NoViewFlagReadsThe32BitView", kLm, "SOFTWARE\\*", kKeyRead, "Text", 64, 0, 0, kRegSz,
     "hello\0"s, 6},
    {"The32BitViewFlag", kLm, "SOFTWARE\\*", k32, "Text", 64, 0, 0, kRegSz, "hello\0"s, 6},
    {"The64BitViewFlag", kLm, "SOFTWARE\\*", k64, "Text", 64, 0, 0, kRegSz, "sixty-four\0"s, 11},
    {"KeyOnlyIn64BitViewIsMissingByDefault", kLm, "SOFTWARE\\*\\OnlyIn64", kKeyRead, "", 64,
     kErrorFileNotFound, 0, 0, "", 0},
    {"KeyOnlyIn64BitViewOpensThere", kLm, "SOFTWARE\\*\\OnlyIn64", k64, "x", 64, 0,
     kErrorFileNotFound, 0, "", 0},
    {"CurrentUserIsTheSameInBothViews", RegistryRoot::kCurrentUser, "Software\\*", kKeyRead, "User",
     64, 0, 0, kRegSz, "u\0"s, 2},
    {"KeyAndValueNamesIgnoreCase", kLm, "software\\*", kKeyRead, "mixed CASE", 64, 0, 0, kRegSz,
     "m\0"s, 2},
    {"MissingKey", kLm, "SOFTWARE\\*\\Nope", kKeyRead, "", 64, kErrorFileNotFound, 0, 0, "", 0},
    {"MissingValue", kLm, "SOFTWARE\\*", kKeyRead, "Nope", 64, 0, kErrorFileNotFound, 0, "", 0},
    {"TrailingBackslashInKeyName", kLm, "SOFTWARE\\*\\", kKeyRead, "Text", 64, 0, 0, kRegSz,
     "hello\0"s, 6},
    // Value kinds, as the ANSI functions hand them out.
    {"EmptyText", kLm, "SOFTWARE\\*", kKeyRead, "Empty", 64, 0, 0, kRegSz, "\0"s, 1},
    {"AnsiText", kLm, "SOFTWARE\\*", kKeyRead, "Accent", 64, 0, 0, kRegSz, "caf\xE9\0"s, 5},
    {"QuotesAndBackslashes", kLm, "SOFTWARE\\*", kKeyRead, "Quoted", 64, 0, 0, kRegSz,
     "a \"b\" c\\d\0"s, 10},
    {"ExpandableTextIsNotExpanded", kLm, "SOFTWARE\\*", kKeyRead, "Path", 64, 0, 0, kRegExpandSz,
     "%SystemRoot%\\x\0"s, 15},
    {"MultiText", kLm, "SOFTWARE\\*", kKeyRead, "List", 64, 0, 0, kRegMultiSz, "a\0bc\0\0"s, 6},
    {"Dword", kLm, "SOFTWARE\\*", kKeyRead, "Number", 64, 0, 0, kRegDword, "\x2a\0\0\0"s, 4},
    {"Binary", kLm, "SOFTWARE\\*", kKeyRead, "Blob", 64, 0, 0, kRegBinary, "\x01\x02\xff"s, 3},
    {"DefaultValue", kLm, "SOFTWARE\\*", kKeyRead, "", 64, 0, 0, kRegSz, "dflt\0"s, 5},
    // Sizes: asked for alone, too small, exact.
    {"SizeOnlyOfText", kLm, "SOFTWARE\\*", kKeyRead, "Text", kSizeOnly, 0, 0, kRegSz, "", 6},
    {"SizeOnlyOfMultiTextCountsAnsiBytes", kLm, "SOFTWARE\\*", kKeyRead, "List", kSizeOnly, 0, 0,
     kRegMultiSz, "", 6},
    {"TextBufferTooSmall", kLm, "SOFTWARE\\*", kKeyRead, "Text", 3, 0, kErrorMoreData, 0, "", 6},
    {"TextBufferWithoutRoom", kLm, "SOFTWARE\\*", kKeyRead, "Text", 0, 0, kErrorMoreData, 0, "", 6},
    {"TextBufferOfExactSize", kLm, "SOFTWARE\\*", kKeyRead, "Text", 6, 0, 0, kRegSz, "hello\0"s, 6},
    {"BinaryBufferTooSmall", kLm, "SOFTWARE\\*", kKeyRead, "Blob", 2, 0, kErrorMoreData, 0, "", 3},
};

class RegistryBehaviourTest : public ::testing::TestWithParam<RegistryCase> {
 protected:
  static void SetUpTestSuite() { fixture_ = makeRegistryFixture(registryContent()).release(); }
  static void TearDownTestSuite() {
    delete fixture_;
    fixture_ = nullptr;
  }
  static RegistryFixture* fixture_;
};
RegistryFixture* RegistryBehaviourTest::fixture_ = nullptr;

TEST_P(RegistryBehaviourTest, OpensAndQueriesAsWindowsDoes) {
  const RegistryCase& c = GetParam();
  Registry& registry = fixture_->registry();
  std::string subKey = c.subKey;
  subKey.replace(subKey.find('*'), 1, kTestKey);
  RegistryKey key = 0;
  Status opened = registry.openKey(c.root, subKey, c.access, &key);
  ASSERT_EQ(opened.number, c.openRc);
  if (!opened.ok()) {
    EXPECT_TRUE(opened.isSystemError(c.openRc));
    return;
  }
  std::uint32_t type = 0;
  std::uint32_t size = c.capacity == kSizeOnly ? 0 : static_cast<std::uint32_t>(c.capacity);
  std::string data(size, '\0');
  Status queried =
      registry.queryValue(key, c.value, &type, c.capacity == kSizeOnly ? nullptr : &data, &size);
  registry.closeKey(key);
  ASSERT_EQ(queried.number, c.queryRc);
  if (!queried.ok()) {
    EXPECT_TRUE(queried.isSystemError(c.queryRc));
    if (queried.number == kErrorMoreData) {
      EXPECT_EQ(size, c.size);
    }
    return;
  }
  EXPECT_EQ(type, c.type);
  EXPECT_EQ(size, c.size);
  if (c.capacity != kSizeOnly) {
    EXPECT_EQ(data.substr(0, size), c.data);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryBehaviourTest, ::testing::ValuesIn(kRegistryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Private-profile files

const char* const kIni =
    "; a comment\r\n"
    "[Main]\r\n"
    "Name=Value\r\n"
    "  Spaced  =   padded value   \r\n"
    "Quoted=\"  inside  \"\r\n"
    "Single='x y'\r\n"
    "Half=\"open\r\n"
    "Mixed=\"a'\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "Inline=v ; not a comment\r\n"
    ";Hidden=h\r\n"
    "Num=42\r\n"
    "NumJunk=12abc\r\n"
    "Neg=-7\r\n"
    "Word=abc\r\n"
    "\r\n"
    "[ Spaced Section ]\r\n"
    "k=s\r\n"
    "[main]\r\n"
    "Dup=third\r\n"
    "Later=in the second Main\r\n"
    "[Tabs]\r\n"
    "\tt\t=\tv\t\r\n";

// The line shapes the rules above do not settle, each read as Windows reads them.
const char* const kShapesIni =
    "[After] text after the bracket\r\n"
    "k=after\r\n"
    "[A]B]\r\n"
    "k=last bracket\r\n"
    "[Twice]\r\n"
    "Empty=\r\n"
    "Empty=second\r\n"
    "[Unclosed\r\n"
    "k=in Twice still\r\n";

// A file as Notepad saves "Unicode": UTF-16LE with its byte-order mark.
std::string utf16le(const std::string& ansi) {
  std::string out = "\xFF\xFE";
  for (char c : ansi) {
    out += c;  // Latin-1 only: one unit, high byte 0
    out += '\0';
  }
  return out;
}

const std::string kLong(4999, 'L');
const std::string kLongIni = "[S]\r\nlong=" + kLong + "\r\n";

enum class Call { kGetString, kGetInt, kWrite };
enum class Place { kFile, kMissingFile, kMissingFolder, kReadOnlyFile };

struct ProfileCase {
  const char* name;
  Place place;
  std::string before;  // the file's content (kFile, kReadOnlyFile)
  Call call;
  const char* section;
  const char* key;
  std::string argument;               // the default (kGetString) or the value (kWrite)
  int number;                         // the buffer size (kGetString) or the default (kGetInt)
  std::string text;                   // kGetString: the text read
  long expected;                      // kGetInt: the number; kWrite: the status number
  std::string after;                  // kWrite: the file afterwards
  const char* wineDiffers = nullptr;  // why wine gives another answer than Windows
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.name; }

constexpr auto kGet = Call::kGetString;
constexpr auto kInt = Call::kGetInt;
constexpr auto kWrite = Call::kWrite;
constexpr auto kFile = Place::kFile;

const ProfileCase kProfileCases[] = {
    // Reading text.
    {"PlainValue", kFile, kIni, kGet, "Main", "Name", "d", 64, "Value", 0, ""},
    {"NamesIgnoreCase", kFile, kIni, kGet, "MAIN", "name", "d", 64, "Value", 0, ""},
    {"BlanksAroundNamesAndValues", kFile, kIni, kGet, "Main", "Spaced", "d", 64, "padded value", 0,
     ""},
    {"TabsAroundNamesAndValues", kFile, kIni, kGet, "Tabs", "t", "d", 64, "v", 0, ""},
    {"BlanksInsideSectionBrackets", kFile, kIni, kGet, "Spaced Section", "k", "d", 64, "s", 0, ""},
    {"DoubleQuotesRemovedInsideKept", kFile, kIni, kGet, "Main", "Quoted", "d", 64, "  inside  ", 0,
     ""},
    {"SingleQuotesRemoved", kFile, kIni, kGet, "Main", "Single", "d", 64, "x y", 0, ""},
    {"UnmatchedQuoteKept", kFile, kIni, kGet, "Main", "Half", "d", 64, "\"open", 0, ""},
    {"MixedQuotesKept", kFile, kIni, kGet, "Main", "Mixed", "d", 64, "\"a'", 0, ""},
    {"EmptyValueIsNotTheDefault", kFile, kIni, kGet, "Main", "Empty", "d", 64, "", 0, ""},
    {"LineWithoutEqualsGivesTheDefault", kFile, kIni, kGet, "Main", "NoEquals", "d", 64, "d", 0,
     ""},
    {"FirstOfTwoEqualKeys", kFile, kIni, kGet, "Main", "Dup", "d", 64, "first", 0, ""},
    {"OnlyTheFirstOfRepeatedSectionsCounts", kFile, kIni, kGet, "Main", "Later", "d", 64, "d", 0,
     ""},
    {"SemicolonAfterValueIsText", kFile, kIni, kGet, "Main", "Inline", "d", 64, "v ; not a comment",
     0, ""},
    {"CommentLineIsNoKey", kFile, kIni, kGet, "Main", "Hidden", "d", 64, "d", 0, ""},
    {"MissingKey", kFile, kIni, kGet, "Main", "Nope", "dflt", 64, "dflt", 0, ""},
    {"MissingSection", kFile, kIni, kGet, "Nope", "Name", "dflt", 64, "dflt", 0, ""},
    {"MissingFile", Place::kMissingFile, "", kGet, "Main", "Name", "dflt", 64, "dflt", 0, ""},
    {"DefaultLosesTrailingBlanks", kFile, kIni, kGet, "Main", "Nope", "dflt  ", 64, "dflt", 0, ""},
    {"ValueCutToBufferLessOne", kFile, kIni, kGet, "Main", "Name", "d", 3, "Va", 0, ""},
    {"LongValue", kFile, kLongIni, kGet, "S", "long", "d", 5000, kLong, 0, ""},
    {"LfLineEnds", kFile, "[S]\nk=v\n", kGet, "S", "k", "d", 64, "v", 0, ""},
    // Reading numbers.
    {"Number", kFile, kIni, kInt, "Main", "Num", "", 5, "", 42, ""},
    {"NumberBeforeText", kFile, kIni, kInt, "Main", "NumJunk", "", 5, "", 12, ""},
    {"NegativeNumber", kFile, kIni, kInt, "Main", "Neg", "", 5, "", -7, ""},
    {"TextIsZero", kFile, kIni, kInt, "Main", "Word", "", 5, "", 0, ""},
    {"EmptyNumberIsTheDefault", kFile, kIni, kInt, "Main", "Empty", "", 5, "", 5, ""},
    {"MissingNumberIsTheDefault", kFile, kIni, kInt, "Main", "Nope", "", 5, "", 5, ""},
    // Line shapes.
    {"TextAfterASectionsBracketIsIgnored", kFile, kShapesIni, kGet, "After", "k", "d", 64, "after",
     0, ""},
    {"SectionNameEndsAtTheLastBracket", kFile, kShapesIni, kGet, "A]B", "k", "d", 64,
     "last bracket", 0, ""},
    {"EmptyValueBeforeTheSameKeyWins", kFile, kShapesIni, kGet, "Twice", "Empty", "d", 64, "", 0,
     ""},
    {"UnclosedBracketIsNoSection", kFile, kShapesIni, kGet, "Twice", "k", "d", 64, "in Twice still",
     0, ""},
    {"Utf16FileWithByteOrderMark", kFile, utf16le("[S]\r\nk = caf\xE9 \r\n"), kGet, "s", "K", "d",
     64, "caf\xE9", 0, ""},
    {"Utf16NumberWithByteOrderMark", kFile, utf16le("[S]\r\nn=42\r\n"), kInt, "S", "n", "", 5, "",
     42, ""},
    // Writing.
    {"WriteCreatesTheFile", Place::kMissingFile, "", kWrite, "S", "k", "v", 0, "", 0,
     "[S]\r\nk=v\r\n"},
    {"WriteReplacesAValueInPlace", kFile, "; c\r\n[S]\r\na=1\r\nb=2\r\n[T]\r\na=3\r\n", kWrite, "s",
     "A", "9", 0, "", 0, "; c\r\n[S]\r\na=9\r\nb=2\r\n[T]\r\na=3\r\n"},
    {"WriteAddsAKeyToItsSection", kFile, "[S]\r\na=1\r\n[T]\r\nb=2\r\n", kWrite, "S", "c", "3", 0,
     "", 0, "[S]\r\na=1\r\nc=3\r\n[T]\r\nb=2\r\n"},
    {"WriteAddsASectionAtTheEnd", kFile, "[S]\r\na=1\r\n", kWrite, "T", "b", "2", 0, "", 0,
     "[S]\r\na=1\r\n[T]\r\nb=2\r\n"},
    {"WriteReplacesTheFirstOfTwoEqualKeys", kFile, "[S]\r\nk=1\r\nk=2\r\n", kWrite, "S", "k", "3",
     0, "", 0, "[S]\r\nk=3\r\nk=2\r\n"},
    {"WriteKeepsBlanksOfTheValue", Place::kMissingFile, "", kWrite, "S", "k", " v ", 0, "", 0,
     "[S]\r\nk= v \r\n", "wine trims the value it writes"},
    {"WriteKeepsAUtf16File", kFile, utf16le("[S]\r\na=1\r\n"), kWrite, "S", "a", "2", 0, "", 0,
     utf16le("[S]\r\na=2\r\n")},
    {"WriteIntoAMissingFolderFails", Place::kMissingFolder, "", kWrite, "S", "k", "v", 0, "",
     kErrorPathNotFound, ""},
    {"WriteToAReadOnlyFileFails", Place::kReadOnlyFile, "[S]\r\nk=1\r\n", kWrite, "S", "k", "2", 0,
     "", kErrorAccessDenied, "[S]\r\nk=1\r\n", "wine running as root writes read-only files"},
};

class ProfileBehaviourTest : public ::testing::TestWithParam<ProfileCase> {
 protected:
  TempFolder folder;
  std::unique_ptr<ProfileFiles> profile = makeProfileFiles();
};

TEST_P(ProfileBehaviourTest, ReadsAndWritesAsWindowsDoes) {
  const ProfileCase& c = GetParam();
  if (c.wineDiffers != nullptr && runningUnderWine()) GTEST_SKIP() << c.wineDiffers;
  ASSERT_FALSE(folder.path().empty());
  // Paths as the monitor builds them: Windows-shaped.
  std::string file =
      folder.path() + "\\" + (c.place == Place::kMissingFolder ? "none\\" : "") + "t.ini";
  if (c.place == Place::kFile || c.place == Place::kReadOnlyFile) folder.write("t.ini", c.before);
  if (c.place == Place::kReadOnlyFile) setReadOnly(folder.file("t.ini"), true);

  switch (c.call) {
    case Call::kGetString: {
      std::string buffer(static_cast<size_t>(c.number), '#');
      std::uint32_t n = profile->getString(c.section, c.key, c.argument, buffer, file);
      EXPECT_EQ(buffer.substr(0, n), c.text);
      EXPECT_EQ(buffer[n], '\0');
      break;
    }
    case Call::kGetInt:
      EXPECT_EQ(profile->getInt(c.section, c.key, c.number, file), c.expected);
      break;
    case Call::kWrite: {
      Status s = profile->writeString(c.section, c.key, c.argument, file);
      EXPECT_EQ(s.number, c.expected) << s.description;
      if (c.place != Place::kMissingFolder) {
        EXPECT_EQ(folder.read("t.ini"), c.after);
      }
      EXPECT_FALSE(folder.exists("none"));
      break;
    }
  }
  if (c.place == Place::kReadOnlyFile) setReadOnly(folder.file("t.ini"), false);
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileBehaviourTest, ::testing::ValuesIn(kProfileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sccevtmon
