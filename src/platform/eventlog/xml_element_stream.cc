#include "platform/eventlog/xml_element_stream.h"

#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

constexpr size_t kBlockSize = XmlElementStream::kReadBlockBytes;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void XmlElementStream::open(ByteReader read, std::string_view name, std::size_t maxElementBytes) {
  read_ = std::move(read);
  pending_.clear();
  raw_.clear();
  declaration_.clear();
  encoding_ = Encoding::kBytes;
  started_ = declarationDone_ = eof_ = truncated_ = oversized_ = startCut_ = false;
  start_ = scanAt_ = 0;
  elementAt_ = std::string::npos;
  depth_ = 0;
  name_ = name;
  maxElementBytes_ = maxElementBytes;
}

Status XmlElementStream::readMore(bool* gotMore) {
  *gotMore = false;
  if (eof_ || !read_) return Status::success();
  if (start_ > 0) {
    pending_.erase(0, start_);
    if (elementAt_ != std::string::npos) {
      elementAt_ -= start_;
      scanAt_ -= start_;
    }
    start_ = 0;
  }
  // The block buffer keeps its size, so a short read costs no clearing of the rest.
  if (block_.size() != kBlockSize) block_.resize(kBlockSize);
  size_t n = 0;
  if (Status s = read_(block_.data(), block_.size(), &n); !s.ok()) return s;
  std::string_view block(block_.data(), n);
  if (n == 0) eof_ = true;
  if (!started_) {
    started_ = true;
    if (block.starts_with("\xFF\xFE")) {
      encoding_ = Encoding::kUtf16Le;
      block.remove_prefix(2);
    } else if (block.starts_with("\xFE\xFF")) {
      encoding_ = Encoding::kUtf16Be;
      block.remove_prefix(2);
    } else if (block.starts_with(std::string_view("<\0?\0", 4))) {
      encoding_ = Encoding::kUtf16Le;
    } else if (block.starts_with(std::string_view("\0<\0?", 4))) {
      encoding_ = Encoding::kUtf16Be;
    } else if (block.starts_with("\xEF\xBB\xBF")) {
      block.remove_prefix(3);
    }
  }
  if (encoding_ == Encoding::kBytes) {
    pending_ += block;
  } else {
    raw_ += block;
    size_t usable = raw_.size() & ~size_t{1};
    if (encoding_ == Encoding::kUtf16Be) {
      for (size_t k = 0; k + 1 < usable; k += 2) std::swap(raw_[k], raw_[k + 1]);
    }
    // A high surrogate at the end waits for its partner in the next block.
    if (!eof_ && usable >= 2) {
      auto high = static_cast<unsigned char>(raw_[usable - 1]);
      if (high >= 0xD8 && high <= 0xDB) usable -= 2;
    }
    pending_ += utf16leToUtf8(std::string_view(raw_).substr(0, usable));
    std::string rest = raw_.substr(usable);
    if (encoding_ == Encoding::kUtf16Be && rest.size() == 2) std::swap(rest[0], rest[1]);
    raw_ = rest;
  }
  // The XML declaration at the start of the file: kept for a single-byte or UTF-8 file (it
  // may name the code page), dropped for UTF-16, which is handed on as UTF-8. Until it is
  // whole nothing before it is consumed, so it still stands at the start of pending_.
  if (!declarationDone_) {
    if (pending_.compare(0, 5, "<?xml") == 0) {
      size_t end = pending_.find("?>");
      if (end != std::string::npos) {
        if (encoding_ == Encoding::kBytes) declaration_ = pending_.substr(0, end + 2);
        pending_.erase(0, end + 2);
        if (declaration_.empty()) declaration_ = " ";  // marks the declaration as handled
        declarationDone_ = true;
      }
    } else if (pending_.size() >= 5 || eof_) {
      declarationDone_ = true;
    }
  }
  *gotMore = true;
  return Status::success();
}

bool XmlElementStream::isNameAt(size_t at) const {
  size_t after = at + 1 + name_.size();
  return after < pending_.size() && pending_.compare(at + 1, name_.size(), name_) == 0 &&
         (isSpace(pending_[after]) || pending_[after] == '>' || pending_[after] == '/');
}

size_t XmlElementStream::endOfMarkup(size_t at, bool* selfClosing) const {
  *selfClosing = false;
  std::string_view rest = std::string_view(pending_).substr(at);
  if (rest.size() < 9 && !eof_) return std::string::npos;
  auto until = [&](std::string_view close, size_t from) {
    size_t end = pending_.find(close, at + from);
    return end == std::string::npos ? end : end + close.size();
  };
  if (rest.substr(0, 4) == "<!--") return until("-->", 4);
  if (rest.substr(0, 9) == "<![CDATA[") return until("]]>", 9);
  if (rest.substr(0, 2) == "<?") return until("?>", 2);
  if (rest.substr(0, 2) == "<!") return until(">", 2);
  char quote = 0;
  for (size_t k = at + 1; k < pending_.size(); ++k) {
    char c = pending_[k];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      *selfClosing = pending_[k - 1] == '/';
      return k + 1;
    }
  }
  return std::string::npos;
}

bool XmlElementStream::isEndTagAt(size_t at) const {
  size_t after = at + 2 + name_.size();
  return after < pending_.size() && pending_.compare(at, 2, "</") == 0 &&
         pending_.compare(at + 2, name_.size(), name_) == 0 &&
         (isSpace(pending_[after]) || pending_[after] == '>');
}

bool XmlElementStream::cutLongConstruct(size_t at) {
  if (pending_.size() - at <= maxElementBytes_) return false;
  // The first 9 characters tell the kind of construct and the element name; the last 2 may
  // hold the start of a split terminator. Between them only the quote state of a tag counts.
  const size_t from = at + 9;
  const size_t to = pending_.size() - 2;
  std::string between;
  if (pending_[at + 1] != '!' && pending_[at + 1] != '?') {
    auto quoteAt = [&](size_t end) {
      char quote = 0;
      for (size_t k = at + 1; k < end; ++k) {
        char c = pending_[k];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        }
      }
      return quote;
    };
    char before = quoteAt(from);
    char after = quoteAt(to);
    if (before != after) {
      if (before != 0) between += before;  // closes the quote open at from
      if (after != 0) between += after;    // opens the one open at to
    }
  }
  pending_.replace(from, to - from, between);
  return true;
}

void XmlElementStream::take(size_t end, std::string* element) {
  if (oversized_ || end - elementAt_ > maxElementBytes_) {
    element->clear();
  } else {
    element->assign(declaration_ == " " ? std::string() : declaration_);
    element->append(pending_, elementAt_, end - elementAt_);
  }
  start_ = end;
  elementAt_ = std::string::npos;
  oversized_ = false;
}

Status XmlElementStream::next(std::string* element, bool* found) {
  *found = false;
  if (!read_) return Status::success();
  for (;;) {
    if (elementAt_ == std::string::npos) {
      // Look for the start tag of the next element.
      size_t lt = pending_.find('<', start_);
      bool selfClosing = false;
      size_t end = lt == std::string::npos ? lt : endOfMarkup(lt, &selfClosing);
      if (end == std::string::npos) {
        // Nothing left in what has been read, or a construct that goes on beyond it.
        start_ = lt == std::string::npos ? pending_.size() : lt;
        if (lt != std::string::npos && cutLongConstruct(lt)) startCut_ = true;
        bool more = false;
        if (Status s = readMore(&more); !s.ok()) return s;
        if (!more) {
          bool dummy = false;
          truncated_ =
              start_ < pending_.size() &&
              (isNameAt(start_) || (pending_.compare(start_, 1 + name_.size(), "<" + name_) == 0 &&
                                    endOfMarkup(start_, &dummy) == std::string::npos));
          pending_.clear();
          start_ = 0;
          return Status::success();
        }
        continue;
      }
      const bool cut = startCut_;
      startCut_ = false;
      if (!isNameAt(lt)) {
        start_ = end;
        continue;
      }
      elementAt_ = lt;
      oversized_ = cut;
      if (selfClosing) {
        take(end, element);
        *found = true;
        return Status::success();
      }
      scanAt_ = end;
      depth_ = 1;
    }
    // Look for the matching end tag, going on where the last look stopped.
    for (;;) {
      size_t q = pending_.find('<', scanAt_);
      if (q == std::string::npos) {
        scanAt_ = pending_.size();
        break;
      }
      bool innerSelf = false;
      size_t innerEnd = endOfMarkup(q, &innerSelf);
      if (innerEnd == std::string::npos) {
        scanAt_ = q;
        if (cutLongConstruct(q)) oversized_ = true;
        break;
      }
      if (isNameAt(q) && !innerSelf) {
        ++depth_;
      } else if (isEndTagAt(q) && --depth_ == 0) {
        take(innerEnd, element);
        *found = true;
        return Status::success();
      }
      scanAt_ = innerEnd;
    }
    // The element goes on beyond what has been read; past the limit its text is dropped as
    // it is read.
    if (oversized_ || scanAt_ - elementAt_ > maxElementBytes_) {
      oversized_ = true;
      elementAt_ = scanAt_;
    }
    start_ = elementAt_;
    bool more = false;
    if (Status s = readMore(&more); !s.ok()) return s;
    if (!more) {
      truncated_ = true;
      pending_.clear();
      start_ = 0;
      elementAt_ = std::string::npos;
      return Status::success();
    }
  }
}

}  // namespace sccevtmon
