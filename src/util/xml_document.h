#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"

namespace pugi {
class xml_document;
struct xml_node_struct;
}  // namespace pugi

namespace sccevtmon {

// The XML document the monitor reads its template with (and rendered-XML event logs). One
// portable implementation over pugixml; no operating system is involved beyond reading the
// file. Every text that comes out (names, attribute values, text content) is the program's
// ANSI text: characters the code page cannot hold become '?'.

enum class XmlNodeKind {
  kDocument,
  kElement,
  kText,   // character data, also white space between elements
  kCData,  // a CDATA section
  kOther,  // comments, processing instructions and the like (not loaded at present)
};

// A node of a loaded XmlDocument: a small handle, valid as long as its document lives and is
// not loaded again. A default-constructed node is empty (false); every call on an empty node
// gives an empty answer.
class XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const { return node_ != nullptr; }
  XmlNodeKind kind() const;

  // The node name as the DOM gives it: the tag name of an element (prefix included, exact
  // case), "#text" for character data, "#cdata-section" for a CDATA section, "#document" for
  // the document node.
  std::string name() const;
  // Whether the node is an element named exactly name (cheaper than comparing name()).
  bool isElement(std::string_view name) const;

  // The direct child nodes in document order, character data included.
  std::vector<XmlNode> children() const;
  // The same walk without building a list: the first child and the next sibling, or empty.
  XmlNode firstChild() const;
  XmlNode nextSibling() const;

  // Looks up the attribute named exactly name (case-sensitive). Returns false when the element
  // has no such attribute (value is left alone); true with its value, which may be empty.
  bool attribute(std::string_view name, std::string* value) const;

  // All character data and CDATA below the node, in document order, as the parser reports it:
  // a line end written in the document reads as LF, the references &#13;&#10; as CR LF.
  std::string text() const;

  // The first element named name (exact) among this node and its descendants, in document
  // order; empty when there is none.
  XmlNode firstElement(std::string_view name) const;

  // Where the node stands in the document's text as decodeXmlText gives it (a byte offset);
  // -1 when not known.
  std::ptrdiff_t offset() const;

 private:
  friend class XmlDocument;
  explicit XmlNode(pugi::xml_node_struct* node) : node_(node) {}

  pugi::xml_node_struct* node_ = nullptr;
};

struct XmlLoadOptions {
  // Accepts any number of top-level elements (none included) and top-level text, as in a file
  // of <Event> elements written without an enclosing root element.
  bool fragment = false;
  // Elements nested deeper than this fail the load (0: no limit). The tree itself is built and
  // walked without recursion; the limit bounds what a caller's own walk meets.
  std::size_t maxDepth = 0;
  // Bytes that are not valid in the document's encoding, and the control characters XML
  // forbids (NUL included), read as '?' instead of failing the load.
  bool replaceBadBytes = false;
};

// A document loaded synchronously and held in memory.
//
// Encodings: a byte-order mark selects UTF-8 or UTF-16 (either byte order); UTF-16 without a
// mark is recognised by its "<?" start. Otherwise the encoding named in the XML declaration
// counts: UTF-8 (also when none is named), or ISO-8859-1 / Windows-1252 (both read as code
// page 1252, as Windows does) and US-ASCII. Any other named encoding, bytes that are not
// valid in the document's encoding and control characters other than tab, CR and LF fail the
// load.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Loads a document from its bytes (files are read through the file-system interface). An
  // encoding that is not supported and a document that is not well-formed fail (440) with a
  // description of why; the document is then empty. No entity is ever expanded: a reference
  // to any entity but the five predefined ones, a character reference to NUL and a document
  // type declaration that declares entities fail too. (Character references to the other
  // control characters are read, as exported event data holds them.)
  Status loadBytes(std::string_view bytes, const XmlLoadOptions& options = {});

  // The document node: its children are the top-level nodes.
  XmlNode document() const;
  // The first top-level element; empty when the document holds none.
  XmlNode rootElement() const;
  // The first element named name anywhere in the document, the root element included.
  XmlNode firstElement(std::string_view name) const;

 private:
  void clear();

  std::unique_ptr<pugi::xml_document> doc_;  // null only after a move
  std::unique_ptr<std::string> text_;        // the UTF-8 text the tree was parsed in place from
};

// The document's text as UTF-8, decoded as XmlDocument::loadBytes decodes it: node offsets
// and the positions in load failures refer to it.
Status decodeXmlText(std::string_view bytes, std::string* utf8);

}  // namespace sccevtmon
