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
//
// Memory is bounded: the file is read in blocks of 1 MiB, and an element longer than the
// limit given to open() is not kept but stepped over (it comes out as an empty text).
class XmlElementStream {
 public:
  // The longest element handed out whole, 4 MiB: no rendered event comes near it.
  static constexpr std::size_t kMaxElementBytes = std::size_t{4} << 20;
  // The size of each read of the input.
  static constexpr std::size_t kReadBlockBytes = std::size_t{1} << 20;

  XmlElementStream() = default;
  XmlElementStream(const XmlElementStream&) = delete;
  XmlElementStream& operator=(const XmlElementStream&) = delete;

  // Fills buffer with up to size bytes of the input and sets *count to their number (0 at
  // the end of the input); a failure ends the stream with that status.
  using ByteReader = std::function<Status(char* buffer, std::size_t size, std::size_t* count)>;

  // Starts reading elements named name from the input read gives (the caller opens and closes
  // the file). Elements longer than maxElementBytes come out empty.
  void open(ByteReader read, std::string_view name, std::size_t maxElementBytes = kMaxElementBytes);

  // The next element as a document text; empty when the element was longer than the limit,
  // which no reader can load. *found is false at the end of the file; when the file ends
  // inside an element that element is lost and truncated() turns true. A read error fails.
  Status next(std::string* element, bool* found);

  bool truncated() const { return truncated_; }

 private:
  enum class Encoding { kBytes, kUtf16Le, kUtf16Be };

  // Drops the text before start_, then appends the next block of the file to pending_,
  // decoded; false at the end of the file.
  Status readMore(bool* gotMore);
  // Cuts the middle out of the unfinished markup construct at `at` when it has grown longer
  // than the limit, keeping what tells where it ends; true when it did.
  bool cutLongConstruct(size_t at);
  // Hands out the element from elementAt_ to end and consumes it.
  void take(size_t end, std::string* element);
  // Where the markup construct starting at '<' ends (one past it), npos when pending_ ends
  // first; for an element start tag also whether it closes itself.
  size_t endOfMarkup(size_t at, bool* selfClosing) const;
  bool isNameAt(size_t at) const;
  bool isEndTagAt(size_t at) const;

  ByteReader read_;
  std::string name_;
  std::size_t maxElementBytes_ = kMaxElementBytes;
  // Decoded text; what stands before start_ has been handed out or stepped over. It is
  // dropped only when the next block is read, so handing out an element moves no text.
  std::string pending_;
  size_t start_ = 0;
  // The element being read: where its start tag stands (npos: none), where the search for
  // its end tag goes on, how many elements of the name are open, and whether it has grown
  // beyond the limit (its text is then dropped as it is read).
  size_t elementAt_ = std::string::npos;
  size_t scanAt_ = 0;
  int depth_ = 0;
  bool oversized_ = false;
  bool startCut_ = false;  // the construct at start_ has been cut
  std::string raw_;        // UTF-16 bytes not yet decoded (an odd byte or a split pair)
  std::string block_;      // the block being read
  std::string declaration_;
  Encoding encoding_ = Encoding::kBytes;
  bool started_ = false;
  bool declarationDone_ = false;
  bool eof_ = false;
  bool truncated_ = false;
};

}  // namespace sccevtmon
