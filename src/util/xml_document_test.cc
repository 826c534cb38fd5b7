#include "util/xml_document.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace sccevtmon {
namespace {

using namespace std::string_literals;

XmlDocument loaded(std::string_view bytes, XmlLoadOptions options = {}) {
  XmlDocument doc;
  Status s = doc.loadBytes(bytes, options);
  EXPECT_TRUE(s.ok()) << s.description;
  return doc;
}

std::vector<std::string> childNames(const XmlNode& node) {
  std::vector<std::string> names;
  for (const XmlNode& child : node.children()) names.push_back(child.name());
  return names;
}

TEST(XmlDocumentTest, FindsTheFirstElementOfANameInDocumentOrderRootIncluded) {
  XmlDocument doc = loaded("<t id='root'><a><t id='deep'/></a><t id='second'/></t>");
  std::string id;
  ASSERT_TRUE(doc.firstElement("t").attribute("id", &id));
  EXPECT_EQ(id, "root");
  ASSERT_TRUE(doc.firstElement("a").firstElement("t").attribute("id", &id));
  EXPECT_EQ(id, "deep");
  EXPECT_FALSE(doc.firstElement("T"));
  EXPECT_FALSE(doc.firstElement("missing").firstElement("t"));
  EXPECT_EQ(doc.rootElement().name(), "t");
}

TEST(XmlDocumentTest, ListsChildNodesInOrderWithTheirNames) {
  XmlDocument doc = loaded("<r>\n <a/>text<B/><![CDATA[c]]><!-- note --><c:d/></r>");
  XmlNode root = doc.rootElement();
  EXPECT_EQ(childNames(root),
            (std::vector<std::string>{"#text", "a", "#text", "B", "#cdata-section", "c:d"}));
  EXPECT_EQ(root.children()[1].kind(), XmlNodeKind::kElement);
  EXPECT_EQ(root.children()[0].kind(), XmlNodeKind::kText);
  EXPECT_EQ(root.children()[4].kind(), XmlNodeKind::kCData);
  EXPECT_EQ(doc.document().name(), "#document");
  int count = 0;
  for (XmlNode n = root.firstChild(); n; n = n.nextSibling()) ++count;
  EXPECT_EQ(count, 6);
}

TEST(XmlDocumentTest, TellsAMissingAttributeFromAnEmptyOne) {
  XmlDocument doc = loaded("<r empty='' spaced=' x ' Case='1' tab='a&#9;b' lines='1\n2'/>");
  XmlNode root = doc.rootElement();
  std::string value = "untouched";
  EXPECT_FALSE(root.attribute("missing", &value));
  EXPECT_FALSE(root.attribute("case", &value));
  EXPECT_EQ(value, "untouched");
  EXPECT_TRUE(root.attribute("empty", &value));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(root.attribute("spaced", &value));
  EXPECT_EQ(value, " x ");
  EXPECT_TRUE(root.attribute("tab", &value));
  EXPECT_EQ(value, "a\tb");
  EXPECT_TRUE(root.attribute("lines", &value));  // a literal line end in a value is a blank
  EXPECT_EQ(value, "1 2");
  EXPECT_FALSE(root.firstChild().attribute("x", &value));
}

TEST(XmlDocumentTest, TextCollectsCharacterDataAndCDataBelowTheNode) {
  XmlDocument doc = loaded("<r> a <b>&lt;b&gt;<c><![CDATA[ <c> ]]></c></b>\t</r>");
  EXPECT_EQ(doc.rootElement().text(), " a <b> <c> \t");
  EXPECT_EQ(doc.firstElement("c").text(), " <c> ");
  EXPECT_EQ(loaded("<r/>").rootElement().text(), "");
  EXPECT_EQ(loaded("<r>\t</r>").rootElement().text(), "\t");
}

TEST(XmlDocumentTest, KeepsCrLfReferencesButNormalisesWrittenLineEnds) {
  XmlDocument doc = loaded("<r><a>x&#13;&#10;y</a><b>x\r\ny\rz</b><c><![CDATA[x\r\ny]]></c></r>");
  EXPECT_EQ(doc.firstElement("a").text(), "x\r\ny");
  EXPECT_EQ(doc.firstElement("b").text(), "x\ny\nz");
  EXPECT_EQ(doc.firstElement("c").text(), "x\ny");
}

TEST(XmlDocumentTest, ReadsEveryEncodingAsAnsiText) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"UTF-8", "<?xml version=\"1.0\"?><r n='\xC3\xA9'>\xE2\x82\xAC\xC3\xBC</r>"},
      {"UTF-8 named",
       "<?xml version='1.0' encoding='UTF-8'?><r n='\xC3\xA9'>\xE2\x82\xAC\xC3\xBC</r>"},
      {"UTF-8 with mark", "\xEF\xBB\xBF<r n='\xC3\xA9'>\xE2\x82\xAC\xC3\xBC</r>"},
      {"Windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r n='\xE9'>\x80\xFC</r>"},
      {"ISO-8859-1", "<?xml version='1.0' encoding = 'ISO-8859-1' ?><r n='\xE9'>\x80\xFC</r>"},
      {"UTF-16LE with mark", "\xFF\xFE<\0r\0 \0n\0=\0'\0\xE9\0'\0>\0\xAC\x20\xFC\0<\0/\0r\0>\0"s},
      {"UTF-16BE with mark", "\xFE\xFF\0<\0r\0 \0n\0=\0'\0\xE9\0'\0>\x20\xAC\0\xFC\0<\0/\0r\0>"s},
      {"UTF-16LE without mark",
       "<\0?\0x\0m\0l\0?\0>\0<\0r\0 \0n\0=\0'\0\xE9\0'\0>\0\xAC\x20\xFC\0<\0/\0r\0>\0"s},
  };
  for (const Case& c : cases) {
    XmlDocument doc;
    Status s = doc.loadBytes(c.bytes);
    ASSERT_TRUE(s.ok()) << c.what << ": " << s.description;
    std::string n;
    EXPECT_TRUE(doc.rootElement().attribute("n", &n)) << c.what;
    EXPECT_EQ(n, "\xE9") << c.what;
    EXPECT_EQ(doc.rootElement().text(), "\x80\xFC") << c.what;
  }
  // Names in the code page find elements and attributes written in any encoding.
  XmlDocument doc = loaded("<r><\xC3\xA9l \xC3\xA9='1'>\xE4\xB8\xAD&#x4E2D;</\xC3\xA9l></r>");
  std::string v;
  EXPECT_TRUE(doc.firstElement("\xE9l").attribute("\xE9", &v));
  EXPECT_EQ(doc.firstElement("\xE9l").text(), "??");  // not in the code page
}

TEST(XmlDocumentTest, RefusesDocumentsThatAreNotWellFormedOrNotReadable) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"blank", "  \r\n"},
      {"unclosed", "<r><a></r>"},
      {"truncated", "<r"},
      {"two roots", "<a/><b/>"},
      {"text after root", "<r/>junk"},
      {"text before root", "junk<r/>"},
      {"bad UTF-8", "<r>\xE9</r>"},
      {"overlong UTF-8", "<r>\xC0\xAF</r>"},
      {"unknown encoding", "<?xml version='1.0' encoding='shift_jis'?><r/>"},
      {"control character", "<r>\x01</r>"},
      {"NUL ending the document early", "<a/>\0<b/>"s},
      {"NUL in UTF-16", "\xFF\xFE<\0r\0>\0\0\0<\0/\0r\0>\0"s},
      {"undefined entity", "<r>a &foo; b</r>"},
      {"undefined entity in an attribute", "<r a='x&nbsp;'/>"},
      {"bare ampersand", "<r>a & b</r>"},
      {"reference without its semicolon", "<r>&amp</r>"},
      {"empty character reference", "<r>&#x;</r>"},
      {"reference to NUL", "<r>Sys&#0;tem</r>"},
      {"hexadecimal reference to NUL", "<r>&#x0000;</r>"},
      {"declared entity", "<!DOCTYPE r [<!ENTITY foo 'bar'>]><r>&foo;</r>"},
      {"declared but unused entity", "<!DOCTYPE r [<!-- ] --><!ENTITY % p 'x'>]><r/>"},
  };
  for (const Case& c : cases) {
    XmlDocument doc;
    Status s = doc.loadBytes(c.bytes);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_EQ(s.number, kErrAutomation) << c.what;
    EXPECT_FALSE(s.description.empty()) << c.what;
    EXPECT_FALSE(doc.rootElement()) << c.what;
  }
  XmlDocument doc;
  EXPECT_EQ(doc.loadBytes("<r>\n<a>\n</r>").description,
            "Start-end tags mismatch at line 3, column 3");
  EXPECT_EQ(doc.loadBytes("<r>\n &foo;</r>").description,
            "undefined entity or malformed reference at line 2, column 2");
}

TEST(XmlDocumentTest, ReadsPredefinedAndCharacterReferencesAndSkipsMarkupThatHoldsAmpersands) {
  XmlDocument doc = loaded(
      "<?xml version='1.0'?><!DOCTYPE r [<!ELEMENT r ANY><!-- &x; -->]>"
      "<r a='&lt;&quot;&#65;'>&amp;&apos;&gt;&#x42;&#1;<!-- & --><![CDATA[&y;]]><?pi &z;?></r>");
  std::string a;
  ASSERT_TRUE(doc.rootElement().attribute("a", &a));
  EXPECT_EQ(a, "<\"A");
  EXPECT_EQ(doc.rootElement().text(), "&'>B\x01&y;");
}

TEST(XmlDocumentTest, AFragmentMayHoldManyTopLevelElements) {
  XmlDocument doc =
      loaded("<?xml version='1.0'?>\n<Event n='1'/>\n<Event n='2'/>\n", XmlLoadOptions{true});
  int events = 0;
  for (const XmlNode& top : doc.document().children()) {
    if (top.name() == "Event") ++events;
  }
  EXPECT_EQ(events, 2);
  EXPECT_TRUE(XmlDocument().loadBytes("", XmlLoadOptions{true}).ok());
}

TEST(XmlDocumentTest, NodesOutliveAMoveOfTheirDocument) {
  XmlDocument first = loaded("<r><a>text</a></r>");
  XmlNode a = first.firstElement("a");
  XmlDocument second = std::move(first);
  EXPECT_EQ(a.text(), "text");
  EXPECT_EQ(second.rootElement().name(), "r");
  EXPECT_TRUE(first.loadBytes("<x/>").ok());  // a moved-from document can load again
  EXPECT_EQ(first.rootElement().name(), "x");
}

}  // namespace
}  // namespace sccevtmon
