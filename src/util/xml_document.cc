#include "util/xml_document.h"

#include <cstring>
#include <pugixml.hpp>

#include "util/ascii.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

// Character data is kept whole, white space between elements included, so that an element's
// text is exactly what the document holds. Line ends written in the document are normalised to
// LF; a character reference is not touched by that, so &#13;&#10; stays CR LF.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata;

pugi::xml_node handle(pugi::xml_node_struct* node) { return pugi::xml_node(node); }

// The length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no surrogates,
// at most U+10FFFF), or 0 when none starts there.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) return 1;
  std::size_t extra = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if ((b & 0xE0) == 0xC0) {
    extra = 1, cp = b & 0x1F, least = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, cp = b & 0x0F, least = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, cp = b & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i <= extra) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

// True when text is well-formed UTF-8; otherwise *badOffset is where it is not.
bool isValidUtf8(std::string_view text, std::size_t* badOffset) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Most of an event is ASCII.
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = utf8SequenceLength(text, i);
    if (n == 0) {
      *badOffset = i;
      return false;
    }
    i += n;
  }
  return true;
}

// text with every byte that starts no well-formed UTF-8 sequence replaced by '?'.
std::string withValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = utf8SequenceLength(text, i);
    if (n == 0) {
      out += '?';
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

// The encoding named in the XML declaration at the start of a byte-oriented document, lower
// case; empty when there is no declaration or it names none.
std::string declaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml") return {};
  std::size_t end = bytes.find("?>");
  std::string_view decl = bytes.substr(0, end);
  std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  std::size_t i = at + 8;
  while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' ||
                             decl[i] == '\n' || decl[i] == '=')) {
    ++i;
  }
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
  std::size_t close = decl.find(decl[i], i + 1);
  if (close == std::string_view::npos) return {};
  return asciiLower(decl.substr(i + 1, close - i - 1));
}

std::string swapBytePairs(std::string_view bytes) {
  std::string out(bytes.substr(0, bytes.size() & ~std::size_t{1}));
  for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

Status encodingFailure(const std::string& why) { return Status{kErrAutomation, why}; }

// Turns the document's bytes into UTF-8 for the parser; with replaceBad, bytes that are not
// UTF-8 read as '?' instead of failing.
Status toUtf8(std::string_view bytes, std::string* utf8, bool replaceBad = false) {
  auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  if (starts("\xFF\xFE"sv)) {
    *utf8 = utf16leToUtf8(bytes.substr(2));
    return Status::success();
  }
  if (starts("\xFE\xFF"sv)) {
    *utf8 = utf16leToUtf8(swapBytePairs(bytes.substr(2)));
    return Status::success();
  }
  if (starts("<\0?\0"sv)) {
    *utf8 = utf16leToUtf8(bytes);
    return Status::success();
  }
  if (starts("\0<\0?"sv)) {
    *utf8 = utf16leToUtf8(swapBytePairs(bytes));
    return Status::success();
  }
  bool bom = starts("\xEF\xBB\xBF"sv);
  std::string_view body = bom ? bytes.substr(3) : bytes;
  std::string encoding = bom ? std::string() : declaredEncoding(body);
  if (encoding.empty() || encoding == "utf-8" || encoding == "utf8") {
    std::size_t bad = 0;
    if (!isValidUtf8(body, &bad)) {
      if (replaceBad) {
        *utf8 = withValidUtf8(body);
        return Status::success();
      }
      return encodingFailure("invalid UTF-8 byte sequence at offset " +
                             std::to_string(bad + (bom ? 3 : 0)));
    }
    utf8->assign(body);
    return Status::success();
  }
  // Windows reads ISO-8859-1 documents with code page 1252; ASCII is a subset of it.
  static const char* const kAnsiNames[] = {"windows-1252", "cp1252",     "x-cp1252",
                                           "iso-8859-1",   "iso_8859-1", "latin1",
                                           "l1",           "us-ascii",   "ascii"};
  for (const char* name : kAnsiNames) {
    if (encoding == name) {
      *utf8 = windows1252ToUtf8(body);
      return Status::success();
    }
  }
  return encodingFailure("unsupported encoding \"" + encoding + "\"");
}

// "line L, column C" of a byte offset into text.
std::string position(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Whether the reference at text[at] ('&') is one the parser reads right: one of the five
// predefined entities or a character reference to anything but NUL. *end is one past it.
bool isKnownReference(std::string_view text, std::size_t at, std::size_t* end) {
  std::size_t semicolon = text.find(';', at + 1);
  if (semicolon == std::string_view::npos) return false;
  std::string_view name = text.substr(at + 1, semicolon - at - 1);
  *end = semicolon + 1;
  for (std::string_view known : {"lt", "gt", "amp", "apos", "quot"}) {
    if (name == known) return true;
  }
  if (name.size() < 2 || name[0] != '#') return false;
  bool hex = name[1] == 'x';
  std::string_view digits = name.substr(hex ? 2 : 1);
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.find_first_not_of(allowed) != std::string_view::npos) return false;
  return digits.find_first_not_of('0') != std::string_view::npos;
}

// One past the document type declaration that starts at text[at], or npos when it does not
// end; *declaresEntity tells whether its internal subset declares an entity.
std::size_t endOfDoctype(std::string_view text, std::size_t at, bool* declaresEntity) {
  *declaresEntity = false;
  char quote = 0;
  int depth = 0;
  for (std::size_t k = at + 9; k < text.size(); ++k) {
    char c = text[k];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (text.compare(k, 4, "<!--") == 0) {
      k = text.find("-->", k + 4);
      if (k == std::string_view::npos) return k;
      k += 2;
    } else if (text.compare(k, 8, "<!ENTITY") == 0) {
      *declaresEntity = true;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '>' && depth <= 0) {
      return k + 1;
    }
  }
  return std::string_view::npos;
}

// Why a document the parser accepts is still refused, or empty. The parser keeps a reference
// to an undeclared entity as literal text, reads a reference to NUL as the end of the text,
// and neither expands declared entities nor refuses their use: so every '&' outside comments,
// CDATA sections, processing instructions and the document type declaration must begin a
// predefined entity or a character reference other than NUL, and the document type
// declaration must declare no entity. Constructs that do not end are left to the parser.
std::string refusedMarkup(std::string_view text) {
  std::size_t i = 0;
  // (find_first_of looks each character up in the set with a call of its own: a plain scan is
  // several times faster over an event's text.)
  for (;;) {
    while (i < text.size() && text[i] != '<' && text[i] != '&') ++i;
    if (i >= text.size()) break;
    std::size_t at = i;
    std::size_t end = std::string_view::npos;
    if (text[at] == '&') {
      if (!isKnownReference(text, at, &end)) {
        return "undefined entity or malformed reference at " + position(text, at);
      }
    } else if (at + 1 < text.size() && text[at + 1] != '!' && text[at + 1] != '?') {
      end = at + 1;  // a tag: the references in its attribute values are found as they come
    } else if (text.compare(at, 4, "<!--") == 0) {
      end = text.find("-->", at + 4);
    } else if (text.compare(at, 9, "<![CDATA[") == 0) {
      end = text.find("]]>", at + 9);
    } else if (text.compare(at, 2, "<?") == 0) {
      end = text.find("?>", at + 2);
    } else if (text.compare(at, 9, "<!DOCTYPE") == 0) {
      bool declaresEntity = false;
      end = endOfDoctype(text, at, &declaresEntity);
      if (declaresEntity) {
        return "entity declarations are not supported (document type declaration at " +
               position(text, at) + ")";
      }
    } else {
      end = at + 1;  // a tag: the references in its attribute values are found as they come
    }
    if (end == std::string_view::npos) break;
    i = end;
  }
  return {};
}

}  // namespace

XmlNodeKind XmlNode::kind() const {
  switch (handle(node_).type()) {
    case pugi::node_document:
      return XmlNodeKind::kDocument;
    case pugi::node_element:
      return XmlNodeKind::kElement;
    case pugi::node_pcdata:
      return XmlNodeKind::kText;
    case pugi::node_cdata:
      return XmlNodeKind::kCData;
    default:
      return XmlNodeKind::kOther;
  }
}

bool XmlNode::isElement(std::string_view name) const {
  pugi::xml_node node = handle(node_);
  return node.type() == pugi::node_element && name == node.name();
}

std::string XmlNode::name() const {
  pugi::xml_node node = handle(node_);
  switch (node.type()) {
    case pugi::node_null:
      return {};
    case pugi::node_document:
      return "#document";
    case pugi::node_pcdata:
      return "#text";
    case pugi::node_cdata:
      return "#cdata-section";
    case pugi::node_comment:
      return "#comment";
    default:
      return utf8ToAnsi(node.name());
  }
}

std::vector<XmlNode> XmlNode::children() const {
  std::vector<XmlNode> out;
  for (pugi::xml_node child : handle(node_).children())
    out.push_back(XmlNode(child.internal_object()));
  return out;
}

XmlNode XmlNode::firstChild() const {
  return XmlNode(handle(node_).first_child().internal_object());
}

XmlNode XmlNode::nextSibling() const {
  return XmlNode(handle(node_).next_sibling().internal_object());
}

bool XmlNode::attribute(std::string_view name, std::string* value) const {
  pugi::xml_node node = handle(node_);
  if (node.type() != pugi::node_element) return false;
  pugi::xml_attribute a = node.attribute(ansiToUtf8(name).c_str());
  if (!a) return false;
  *value = utf8ToAnsi(a.value());
  return true;
}

namespace {

// The node after node in document order below top, or a null node at the end; a walk without
// recursion, so nesting depth is the document's to choose.
pugi::xml_node nextInDocumentOrder(pugi::xml_node node, pugi::xml_node top) {
  if (node.first_child()) return node.first_child();
  while (node && node != top && !node.next_sibling()) node = node.parent();
  if (!node || node == top) return pugi::xml_node();
  return node.next_sibling();
}

// Whether elements below top nest deeper than limit; a walk in document order without
// recursion.
bool depthExceeds(pugi::xml_node top, std::size_t limit) {
  std::size_t depth = 0;  // the elements enclosing node
  pugi::xml_node node = top.first_child();
  while (node) {
    if (node.type() == pugi::node_element) {
      if (depth + 1 > limit) return true;
      if (node.first_child()) {
        ++depth;
        node = node.first_child();
        continue;
      }
    }
    while (!node.next_sibling()) {
      node = node.parent();
      if (node == top) return false;
      --depth;
    }
    node = node.next_sibling();
  }
  return false;
}

}  // namespace

std::string XmlNode::text() const {
  pugi::xml_node top = handle(node_);
  std::string utf8;
  pugi::xml_node node = top;
  while (node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) utf8 += node.value();
    node = nextInDocumentOrder(node, top);
  }
  return utf8ToAnsi(utf8);
}

XmlNode XmlNode::firstElement(std::string_view name) const {
  const std::string wanted = ansiToUtf8(name);
  pugi::xml_node top = handle(node_);
  pugi::xml_node node = top;
  while (node) {
    if (node.type() == pugi::node_element && wanted == node.name()) {
      return XmlNode(node.internal_object());
    }
    node = nextInDocumentOrder(node, top);
  }
  return XmlNode();
}

std::ptrdiff_t XmlNode::offset() const { return handle(node_).offset_debug(); }

XmlDocument::XmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

void XmlDocument::clear() {
  if (doc_) {
    doc_->reset();
  } else {
    doc_ = std::make_unique<pugi::xml_document>();
  }
  text_.reset();
}

Status XmlDocument::loadBytes(std::string_view bytes, const XmlLoadOptions& options) {
  clear();
  auto text = std::make_unique<std::string>();
  if (Status s = toUtf8(bytes, text.get(), options.replaceBadBytes); !s.ok()) return s;
  // XML allows no control characters but tab and the line ends; the parser would stop at a
  // NUL as if the document ended there.
  for (std::size_t control = 0; control < text->size(); ++control) {
    auto c = static_cast<unsigned char>((*text)[control]);
    if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') continue;
    if (!options.replaceBadBytes) {
      return Status{kErrAutomation, "invalid character at " + position(*text, control)};
    }
    (*text)[control] = '?';
  }
  if (std::string why = refusedMarkup(*text); !why.empty()) {
    return Status{kErrAutomation, why};
  }
  // The tree points into the text it was parsed from, which the document keeps. The parser
  // drops text beside the root element without a word, so every document is read as a
  // fragment and held to the rules of a whole document below.
  text_ = std::move(text);
  pugi::xml_parse_result result = doc_->load_buffer_inplace(
      text_->data(), text_->size(), kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
  if (!result) {
    clear();
    std::string original;  // parsing has changed the text; the position is that of the original
    toUtf8(bytes, &original);
    return Status{kErrAutomation, std::string(result.description()) + " at " +
                                      position(original, static_cast<std::size_t>(result.offset))};
  }
  if (options.maxDepth > 0 && depthExceeds(doc_->root(), options.maxDepth)) {
    clear();
    return Status{kErrAutomation,
                  "elements nested deeper than " + std::to_string(options.maxDepth) + " levels"};
  }
  if (!options.fragment) {
    int elements = 0;
    bool stray = false;
    for (pugi::xml_node top : doc_->children()) {
      if (top.type() == pugi::node_element) ++elements;
      if (top.type() == pugi::node_cdata ||
          (top.type() == pugi::node_pcdata && !trimAscii(top.value(), kWhiteSpace).empty())) {
        stray = true;
      }
    }
    const char* why = stray           ? "text outside the root element"
                      : elements == 0 ? "no root element"
                      : elements > 1  ? "more than one root element"
                                      : nullptr;
    if (why != nullptr) {
      clear();
      return Status{kErrAutomation, why};
    }
  }
  return Status::success();
}

XmlNode XmlDocument::document() const { return XmlNode(doc_ ? doc_->internal_object() : nullptr); }

XmlNode XmlDocument::rootElement() const {
  return XmlNode(doc_ ? doc_->document_element().internal_object() : nullptr);
}

XmlNode XmlDocument::firstElement(std::string_view name) const {
  return document().firstElement(name);
}

Status decodeXmlText(std::string_view bytes, std::string* utf8) { return toUtf8(bytes, utf8); }

}  // namespace sccevtmon
