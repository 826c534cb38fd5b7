#include "base/text.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "util/ascii.h"
#include "util/text_format.h"

namespace sccevtmon {
namespace {

bool skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

unsigned char upperByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 16);
  if (c == 0xFF) return 0x9F;
  return c;
}

unsigned char lowerByte(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);
  if (c == 0x9F) return 0xFF;
  return c;
}

}  // namespace

std::string trimSpaces(std::string_view text) { return std::string(trimAscii(text, " ")); }

double numericValue(std::string_view text) {
  // Gather the characters that take part, dropping blanks, tabs and line feeds.
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!skipped(c)) s += c;
  }
  size_t i = 0;
  std::string number;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
  size_t mantissaDigits = 0;
  while (i < s.size() && digit(s[i])) {
    number += s[i++];
    ++mantissaDigits;
  }
  if (i < s.size() && s[i] == '.') {
    number += s[i++];
    while (i < s.size() && digit(s[i])) {
      number += s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    size_t expDigits = 0;
    while (j < s.size() && digit(s[j])) {
      exponent += s[j++];
      ++expDigits;
    }
    if (expDigits > 0) number += exponent;
  }
  // from_chars takes no leading '+' and reads '.' whatever the locale.
  std::string_view view = number;
  bool negative = false;
  if (!view.empty() && (view.front() == '+' || view.front() == '-')) {
    negative = view.front() == '-';
    view.remove_prefix(1);
  }
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Either too large (saturate) or too small (reads as zero).
    bool large = view.find_first_of("123456789") != std::string_view::npos &&
                 view.find("e-") == std::string_view::npos;
    value = large ? DBL_MAX : 0.0;
  }
  (void)ptr;
  return negative ? -value : value;
}

std::string numberText(double value) {
  // The classic runtime writes a negative zero as "0".
  if (value == 0.0) return "0";
  std::string out;
  appendGeneral15(out, value);
  return out;
}

std::string toUpperAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(upperByte(static_cast<unsigned char>(c)));
  return out;
}

std::string toLowerAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(lowerByte(static_cast<unsigned char>(c)));
  return out;
}

bool upperEquals(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (upperByte(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(upper[i])) {
      return false;
    }
  }
  return true;
}

void upperInto(std::string_view text, std::string& out) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(upperByte(static_cast<unsigned char>(text[i])));
  }
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerByte(static_cast<unsigned char>(a[i])) !=
        lowerByte(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string escapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void appendCdataSection(std::string& out, std::string_view text) {
  out += "<![CDATA[";
  size_t start = 0;
  for (size_t at = text.find("]]>"); at != std::string_view::npos; at = text.find("]]>", start)) {
    out.append(text.substr(start, at - start));
    out += "]]]]><![CDATA[>";
    start = at + 3;
  }
  out.append(text.substr(start));
  out += "]]>";
}

std::string cdataSection(std::string_view text) {
  std::string out;
  appendCdataSection(out, text);
  return out;
}

std::string xmlElement(std::string_view tag, std::string_view text) {
  std::string out;
  out.reserve(2 * tag.size() + text.size() + 5);
  out.append("<").append(tag).append(">").append(text).append("</").append(tag).append(">");
  return out;
}

std::string decimal(long long value) {
  std::string out;
  appendDecimal(out, value);
  return out;
}

void appendToCopy(std::string& copy, std::string_view element) {
  if (copy.size() > kReportCopyBytes) return;
  copy.append(element.substr(0, kReportCopyBytes + 1 - copy.size()));
}

std::string loggedCopy(const std::string& copy) {
  if (copy.size() <= kReportCopyBytes) return copy;
  return copy.substr(0, kReportCopyBytes) + " ...[cut at 1 MiB]";
}

std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace sccevtmon
