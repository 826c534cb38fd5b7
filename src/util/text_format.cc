#include "util/text_format.h"

#include <charconv>
#include <cmath>

namespace sccevtmon {
namespace {

// A date or time field: its width in digits when it fits, else as appendZeroPadded writes it.
void appendField(std::string& out, int value, int width) {
  char digits[4];
  int rest = value;
  if (width > 4 || value < 0) return appendZeroPadded(out, value, width);
  for (int i = width - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  if (rest != 0) return appendZeroPadded(out, value, width);
  out.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

void appendDecimal(std::string& out, long long value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 24 characters hold every 64-bit value
  out.append(buffer, end);
}

void appendZeroPadded(std::string& out, long long value, int width) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;
  const char* digits = buffer;
  long long length = end - buffer;
  if (value < 0) {
    out += '-';
    ++digits;
  }
  if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, static_cast<std::size_t>(end - digits));
}

void appendGeneral15(std::string& out, double value) {
  // A whole number below 10^15 is its digits under %.15G; no rounding can apply.
  if (value != 0 && std::fabs(value) < 1e15 && std::trunc(value) == value) {
    appendDecimal(out, static_cast<long long>(value));
    return;
  }
  // to_chars with a precision is specified as printf's %.*g; %G differs only in letter case.
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  (void)ec;  // 64 characters hold every %.15g text
  for (const char* p = buffer; p != end; ++p) {
    char c = *p;
    out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
}

void appendTimestamp(std::string& out, const LocalTime& t) {
  appendField(out, t.month, 2);
  out += '/';
  appendField(out, t.day, 2);
  out += '/';
  appendField(out, t.year, 4);
  out += ' ';
  appendField(out, t.hour, 2);
  out += ':';
  appendField(out, t.minute, 2);
  out += ':';
  appendField(out, t.second, 2);
}

void appendFileStamp(std::string& out, const LocalTime& t) {
  appendField(out, t.month, 2);
  appendField(out, t.day, 2);
  appendField(out, t.year, 4);
  appendField(out, t.hour, 2);
  appendField(out, t.minute, 2);
  appendField(out, t.second, 2);
}

bool hasTimestampShape(std::string_view text) {
  static constexpr std::string_view kShape = "00/00/0000 00:00:00";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace sccevtmon
