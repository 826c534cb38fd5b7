#include "platform/eventlog/xml_element_stream.h"

#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

constexpr size_t kBlockSize = 1 << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void XmlElementStream::open(ByteReader read, std::string_view name) {
  read_ = std::move(read);
  pending_.clear();
  raw_.clear();
  declaration_.clear();
  encoding_ = Encoding::kBytes;
  started_ = eof_ = truncated_ = false;
  name_ = name;
}

Status XmlElementStream::readMore(bool* gotMore) {
  *gotMore = false;
  if (eof_ || !read_) return Status::success();
  std::string block(kBlockSize, '\0');
  size_t n = 0;
  if (Status s = read_(block.data(), block.size(), &n); !s.ok()) return s;
  block.resize(n);
  if (n == 0) eof_ = true;
  if (!started_) {
    started_ = true;
    if (block.size() >= 2 && block[0] == '\xFF' && block[1] == '\xFE') {
      encoding_ = Encoding::kUtf16Le;
      block.erase(0, 2);
    } else if (block.size() >= 2 && block[0] == '\xFE' && block[1] == '\xFF') {
      encoding_ = Encoding::kUtf16Be;
      block.erase(0, 2);
    } else if (block.size() >= 4 && block.compare(0, 4, std::string("<\0?\0", 4)) == 0) {
      encoding_ = Encoding::kUtf16Le;
    } else if (block.size() >= 4 && block.compare(0, 4, std::string("\0<\0?", 4)) == 0) {
      encoding_ = Encoding::kUtf16Be;
    } else if (block.size() >= 3 && block.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      block.erase(0, 3);
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
  // The XML declaration: kept for a single-byte or UTF-8 file (it may name the code page),
  // dropped for UTF-16, which is handed on as UTF-8.
  if (declaration_.empty() && pending_.compare(0, 5, "<?xml") == 0) {
    size_t end = pending_.find("?>");
    if (end != std::string::npos) {
      if (encoding_ == Encoding::kBytes) declaration_ = pending_.substr(0, end + 2);
      pending_.erase(0, end + 2);
      if (declaration_.empty()) declaration_ = " ";  // marks the declaration as handled
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

Status XmlElementStream::next(std::string* element, bool* found) {
  *found = false;
  if (!read_) return Status::success();
  size_t pos = 0;
  for (;;) {
    bool more = false;
    size_t lt = pending_.find('<', pos);
    if (lt == std::string::npos) {
      pending_.clear();
      pos = 0;
      Status s = readMore(&more);
      if (!s.ok()) return s;
      if (!more) return Status::success();
      continue;
    }
    bool selfClosing = false;
    size_t end = endOfMarkup(lt, &selfClosing);
    bool complete = end != std::string::npos;
    if (complete && isNameAt(lt)) {
      if (selfClosing) {
        *element = declaration_ == " " ? std::string() : declaration_;
        element->append(pending_, lt, end - lt);
        pending_.erase(0, end);
        *found = true;
        return Status::success();
      }
      // Look for the matching end tag.
      int depth = 1;
      size_t p = end;
      complete = false;
      while (true) {
        size_t q = pending_.find('<', p);
        if (q == std::string::npos) break;
        bool innerSelf = false;
        size_t innerEnd = endOfMarkup(q, &innerSelf);
        if (innerEnd == std::string::npos) break;
        if (isNameAt(q) && !innerSelf) {
          ++depth;
        } else if (pending_.compare(q, 2, "</") == 0 &&
                   pending_.compare(q + 2, name_.size(), name_) == 0 &&
                   q + 2 + name_.size() < pending_.size() &&
                   (isSpace(pending_[q + 2 + name_.size()]) ||
                    pending_[q + 2 + name_.size()] == '>')) {
          if (--depth == 0) {
            *element = declaration_ == " " ? std::string() : declaration_;
            element->append(pending_, lt, innerEnd - lt);
            pending_.erase(0, innerEnd);
            *found = true;
            return Status::success();
          }
        }
        p = innerEnd;
      }
    }
    if (complete) {
      pos = end;
      continue;
    }
    // The construct at lt goes on beyond what has been read.
    pending_.erase(0, lt);
    pos = 0;
    Status s = readMore(&more);
    if (!s.ok()) return s;
    if (!more) {
      bool dummy = false;
      truncated_ = isNameAt(0) || (pending_.compare(0, 1 + name_.size(), "<" + name_) == 0 &&
                                   endOfMarkup(0, &dummy) == std::string::npos);
      pending_.clear();
      return Status::success();
    }
  }
}

}  // namespace sccevtmon
