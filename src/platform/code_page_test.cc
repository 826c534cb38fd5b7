// The code page the program converts with, against golden files made from each code page's
// Unicode mapping (not by this code): Windows-1252 on the portable build, the system's ANSI
// code page on Windows. scripts/test-windows runs these once more under a Russian locale
// (1251), where the program's text must follow the system's code page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "testing/native_fixture.h"
#include "testing/test_support.h"
#include "util/text_encoding.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { useProgramCodePage(); }
  void TearDown() override { useCodePage(windows1252()); }
};

TEST_F(CodePageTest, AnEventsTextConvertsAsTheGoldenFileOfTheProgramsCodePage) {
  // The locale the script starts the tests with must have reached the system's code page.
  if (const char* wanted = std::getenv("SCCEVTMON_TEST_CODE_PAGE")) {
    ASSERT_EQ(codePageNumber(), std::atoi(wanted));
  }
  const std::string folder =
      std::string(SCCEVTMON_SOURCE_DIR) + "/src/platform/testdata/code_pages/";
  std::ifstream in(folder + "message.utf8.txt", std::ios::binary);
  ASSERT_TRUE(in.good());
  const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  const std::string ansi = utf8ToAnsi(utf8);
  expectGolden(ansi, "src/platform/testdata/code_pages/message.cp" +
                         std::to_string(codePageNumber()) + ".txt");
  // What the code page holds comes back as it was; the rest stays '?'.
  EXPECT_EQ(utf8ToAnsi(ansiToUtf8(ansi)), ansi);
}

// A document that names its encoding is read by that name, whatever the code page.
TEST_F(CodePageTest, ADocumentDeclaredWindows1252IsReadAsWindows1252) {
  // A code page whose byte 0xC0 is the Cyrillic A, and which has no A with grave accent.
  CodePage cyrillic = windows1252();
  cyrillic.number = 1251;
  cyrillic.characters[0xC0] = 0x0410;
  useCodePage(cyrillic);
  EXPECT_EQ(ansiToUtf8("\xC0"), "\xD0\x90");
  EXPECT_EQ(utf8ToAnsi("\xD0\x90\xC3\x80"), "\xC0?");
  XmlDocument doc;
  ASSERT_TRUE(doc.loadBytes("<?xml version='1.0' encoding='windows-1252'?><r>\xC0\xE9</r>").ok());
  EXPECT_EQ(doc.rootElement().text(), "?\xE9");
}

}  // namespace
}  // namespace sccevtmon
