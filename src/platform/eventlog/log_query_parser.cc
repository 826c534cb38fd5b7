#include "platform/eventlog/log_query_parser.h"

#include <array>
#include <cctype>

#include "util/ascii.h"
#include "util/civil_time.h"

namespace sccevtmon {
namespace {

enum class TokenKind { kWord, kNumber, kString, kComma, kOpen, kClose, kEquals, kEnd };

struct Token {
  TokenKind kind;
  std::string text;  // a word or number as written; a string without its quotes
  size_t position;   // 1-based position of the first character
};

constexpr std::array<const char*, kEventFieldCount> kFieldNames = {
    "EventTypeName", "TimeGenerated", "SourceName", "EventCategoryName", "EventID", "Message"};

bool sameWord(std::string_view a, std::string_view b) { return asciiEqualsNoCase(a, b); }

Status syntaxError(size_t position, const std::string& what) {
  return Status{kErrAutomation,
                "Syntax error at position " + std::to_string(position) + ": " + what};
}

// How a token is shown in an error description.
std::string shown(const Token& t) {
  switch (t.kind) {
    case TokenKind::kEnd:
      return "the end of the query";
    case TokenKind::kString:
      return "'" + t.text + "'";
    default:
      return "'" + t.text + "'";
  }
}

bool isWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

Status tokenize(std::string_view text, std::vector<Token>* tokens) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    size_t position = i + 1;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (isWordStart(c)) {
      size_t start = i;
      while (i < text.size() && isWordChar(text[i])) ++i;
      tokens->push_back({TokenKind::kWord, std::string(text.substr(start, i - start)), position});
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i < text.size() && isWordChar(text[i])) {
        return syntaxError(i + 1, "unexpected character '" + std::string(1, text[i]) + "'");
      }
      tokens->push_back({TokenKind::kNumber, std::string(text.substr(start, i - start)), position});
    } else if (c == '\'') {
      size_t close = text.find('\'', i + 1);
      if (close == std::string_view::npos) {
        return syntaxError(position, "the quoted text is not closed");
      }
      tokens->push_back(
          {TokenKind::kString, std::string(text.substr(i + 1, close - i - 1)), position});
      i = close + 1;
    } else if (c == ',' || c == '(' || c == ')' || c == '=') {
      TokenKind kind = c == ','   ? TokenKind::kComma
                       : c == '(' ? TokenKind::kOpen
                       : c == ')' ? TokenKind::kClose
                                  : TokenKind::kEquals;
      tokens->push_back({kind, std::string(1, c), position});
      ++i;
    } else if (c == '\0') {
      return syntaxError(position, "unexpected NUL character");
    } else {
      return syntaxError(position, "unexpected character '" + std::string(1, c) + "'");
    }
  }
  tokens->push_back({TokenKind::kEnd, "", text.size() + 1});
  return Status::success();
}

// Reads text by a TIMESTAMP format into local civil seconds.
Status readTimestamp(const Token& textToken, const Token& formatToken, long long* seconds) {
  const std::string& text = textToken.text;
  const std::string& format = formatToken.text;
  LocalTime t;
  t.year = t.month = t.day = -1;
  size_t at = 0;  // position in text
  size_t f = 0;
  auto fieldOf = [&](std::string_view spec) -> int* {
    if (spec == "yyyy") return &t.year;
    if (spec == "MM") return &t.month;
    if (spec == "dd") return &t.day;
    if (spec == "hh") return &t.hour;
    if (spec == "mm") return &t.minute;
    if (spec == "ss") return &t.second;
    return nullptr;
  };
  while (f < format.size()) {
    char c = format[f];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t end = f;
      while (end < format.size() && format[end] == c) ++end;
      std::string_view spec(format.data() + f, end - f);
      int* field = fieldOf(spec);
      if (field == nullptr) {
        return syntaxError(
            formatToken.position + 1 + f,
            "unsupported element '" + std::string(spec) + "' in the timestamp format");
      }
      int value = 0;
      for (size_t k = 0; k < spec.size(); ++k, ++at) {
        if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) {
          return syntaxError(
              textToken.position + 1 + at,
              "the timestamp '" + text + "' does not match the format '" + format + "'");
        }
        value = value * 10 + (text[at] - '0');
      }
      *field = value;
      f = end;
    } else {
      if (at >= text.size() || text[at] != c) {
        return syntaxError(
            textToken.position + 1 + at,
            "the timestamp '" + text + "' does not match the format '" + format + "'");
      }
      ++at;
      ++f;
    }
  }
  if (at != text.size()) {
    return syntaxError(textToken.position + 1 + at,
                       "the timestamp '" + text + "' does not match the format '" + format + "'");
  }
  if (t.year < 0 || t.month < 0 || t.day < 0) {
    return syntaxError(formatToken.position,
                       "the timestamp format '" + format + "' lacks the year, month or day");
  }
  if (!isValidLocalTime(t)) {
    return syntaxError(textToken.position, "'" + text + "' is not a valid date and time");
  }
  *seconds = civilSeconds(t);
  return Status::success();
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  Status parse(LogQueryText* query) {
    Status s;
    if (!(s = keyword("SELECT")).ok()) return s;
    for (;;) {
      if (!(s = selectItem(query)).ok()) return s;
      if (peek().kind != TokenKind::kComma) break;
      ++at_;
    }
    if (!(s = keyword("FROM")).ok()) return s;
    if (peek().kind != TokenKind::kString) return expected("the event log name in single quotes");
    query->logName = next().text;
    if (peek().kind == TokenKind::kWord && sameWord(peek().text, "WHERE")) {
      ++at_;
      if (!(s = condition(query)).ok()) return s;
    }
    if (peek().kind != TokenKind::kEnd) return expected("the end of the query");
    return Status::success();
  }

 private:
  const Token& peek() const { return tokens_[at_]; }
  const Token& next() { return tokens_[at_++]; }

  Status expected(const std::string& what) const {
    return syntaxError(peek().position, "expected " + what + ", found " + shown(peek()));
  }

  Status keyword(const char* word) {
    if (peek().kind != TokenKind::kWord || !sameWord(peek().text, word)) {
      return expected(std::string("the keyword ") + word);
    }
    ++at_;
    return Status::success();
  }

  Status punctuation(TokenKind kind, const char* shownAs) {
    if (peek().kind != kind) return expected(std::string("'") + shownAs + "'");
    ++at_;
    return Status::success();
  }

  Status selectItem(LogQueryText* query) {
    if (peek().kind != TokenKind::kWord || isReserved(peek().text)) return expected("a field name");
    const Token& field = peek();
    int index = -1;
    for (int k = 0; k < kEventFieldCount; ++k) {
      if (sameWord(field.text, kFieldNames[k])) index = k;
    }
    if (index < 0) {
      return syntaxError(field.position, "unknown field '" + field.text +
                                             "' (the event log offers EventTypeName, "
                                             "TimeGenerated, SourceName, EventCategoryName, "
                                             "EventID and Message)");
    }
    ++at_;
    SelectedColumn column{static_cast<EventField>(index), kFieldNames[index]};
    if (peek().kind == TokenKind::kWord && sameWord(peek().text, "AS")) {
      ++at_;
      if (peek().kind != TokenKind::kWord || isReserved(peek().text)) return expected("an alias");
      column.name = next().text;
    }
    for (const SelectedColumn& c : query->columns) {
      if (sameWord(c.name, column.name)) {
        return syntaxError(tokens_[at_ - 1].position,
                           "the column name '" + column.name + "' is used twice");
      }
    }
    query->columns.push_back(std::move(column));
    return Status::success();
  }

  static bool isReserved(const std::string& word) {
    for (const char* k : {"SELECT", "AS", "FROM", "WHERE", "AND", "BETWEEN", "TIMESTAMP"}) {
      if (sameWord(word, k)) return true;
    }
    return false;
  }

  Status condition(LogQueryText* query) {
    Status s;
    if (peek().kind == TokenKind::kNumber) {
      const Token& left = next();
      if (!(s = punctuation(TokenKind::kEquals, "=")).ok()) return s;
      if (peek().kind != TokenKind::kNumber) return expected("a number");
      const Token& right = next();
      if (stripZeros(left.text) != stripZeros(right.text)) {
        return syntaxError(left.position,
                           "only a condition that always holds (such as 0=0) may stand here");
      }
      if (!(s = keyword("AND")).ok()) return s;
    }
    if (peek().kind != TokenKind::kWord || !sameWord(peek().text, "TimeGenerated")) {
      return expected("TimeGenerated");
    }
    ++at_;
    if (!(s = keyword("BETWEEN")).ok()) return s;
    if (!(s = timestamp(&query->windowFrom)).ok()) return s;
    if (!(s = keyword("AND")).ok()) return s;
    if (!(s = timestamp(&query->windowTo)).ok()) return s;
    query->hasWindow = true;
    return Status::success();
  }

  static std::string stripZeros(const std::string& digits) {
    size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
  }

  Status timestamp(long long* seconds) {
    Status s;
    if (!(s = keyword("TIMESTAMP")).ok()) return s;
    if (!(s = punctuation(TokenKind::kOpen, "(")).ok()) return s;
    if (peek().kind != TokenKind::kString) return expected("the timestamp text in single quotes");
    const Token& text = next();
    if (!(s = punctuation(TokenKind::kComma, ",")).ok()) return s;
    if (peek().kind != TokenKind::kString) return expected("the timestamp format in single quotes");
    const Token& format = next();
    if (!(s = punctuation(TokenKind::kClose, ")")).ok()) return s;
    return readTimestamp(text, format, seconds);
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
};

}  // namespace

const char* eventFieldName(EventField field) { return kFieldNames[static_cast<int>(field)]; }

Status parseLogQuery(std::string_view text, LogQueryText* query) {
  *query = LogQueryText{};
  std::vector<Token> tokens;
  Status s = tokenize(text, &tokens);
  if (!s.ok()) return s;
  Parser parser(std::move(tokens));
  s = parser.parse(query);
  if (!s.ok()) *query = LogQueryText{};
  return s;
}

}  // namespace sccevtmon
