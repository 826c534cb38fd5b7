#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "util/status.h"

namespace sccevtmon {

// Reads the elements of one name from an XML file one at a time, without holding the whole
// document: a file of rendered events can be large, and it may hold a bare sequence of
// <Event> elements without an enclosing root. Each element comes out as a small document of
// its own, to be loaded with XmlDocument::loadBytes.
//
// The elements are found wherever they stand (top level or below a root of another name);
// an element of the same name inside one is part of it. Comments, CDATA sections, processing
// instructions and the document type declaration are stepped over. The file's encoding is
// kept: a byte-order mark or a "<?" start selects UTF-16, which is handed on as UTF-8; a
// UTF-8 or single-byte file keeps its XML declaration in front of every element.
class XmlElementStream {
 public:
  XmlElementStream() = default;
  XmlElementStream(const XmlElementStream&) = delete;
  XmlElementStream& operator=(const XmlElementStream&) = delete;

  // Fills buffer with up to size bytes of the input and sets *count to their number (0 at
  // the end of the input); a failure ends the stream with that status.
  using ByteReader = std::function<Status(char* buffer, std::size_t size, std::size_t* count)>;

  // Starts reading elements named name from the input read gives (the caller opens and closes
  // the file).
  void open(ByteReader read, std::string_view name);

  // The next element as a document text. *found is false at the end of the file; when the
  // file ends inside an element that element is lost and truncated() turns true. A read error
  // fails.
  Status next(std::string* element, bool* found);

  bool truncated() const { return truncated_; }

 private:
  enum class Encoding { kBytes, kUtf16Le, kUtf16Be };

  // Appends the next block of the file to pending_, decoded; false at the end of the file.
  Status readMore(bool* gotMore);
  // Where the markup construct starting at '<' ends (one past it), npos when pending_ ends
  // first; for an element start tag also whether it closes itself.
  size_t endOfMarkup(size_t at, bool* selfClosing) const;
  bool isNameAt(size_t at) const;

  ByteReader read_;
  std::string name_;
  std::string pending_;  // decoded text not yet handed out
  std::string raw_;      // UTF-16 bytes not yet decoded (an odd byte or a split pair)
  std::string declaration_;
  Encoding encoding_ = Encoding::kBytes;
  bool started_ = false;
  bool eof_ = false;
  bool truncated_ = false;
};

}  // namespace sccevtmon
