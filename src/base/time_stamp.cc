#include "base/time_stamp.h"

#include "util/text_format.h"

namespace sccevtmon {

std::string runTimestamp(const LocalTime& t) {
  std::string out;
  out.reserve(19);
  appendTimestamp(out, t);
  return out;
}

std::string fileStamp(const LocalTime& t) {
  std::string out;
  out.reserve(14);
  appendFileStamp(out, t);
  return out;
}

std::optional<LocalTime> parseRunTimestamp(std::string_view text) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  auto number = [&](int minDigits, int maxDigits, int* out) {
    int n = 0, digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < maxDigits) {
      n = n * 10 + (text[i++] - '0');
      ++digits;
    }
    *out = n;
    return digits >= minDigits;
  };
  auto expect = [&](char c) {
    if (i < text.size() && text[i] == c) {
      ++i;
      return true;
    }
    return false;
  };
  LocalTime t;
  skipBlanks();
  if (!number(1, 2, &t.month) || !expect('/') || !number(1, 2, &t.day) || !expect('/') ||
      !number(4, 4, &t.year)) {
    return std::nullopt;
  }
  skipBlanks();
  if (i < text.size()) {
    if (!number(1, 2, &t.hour) || !expect(':') || !number(1, 2, &t.minute)) return std::nullopt;
    if (expect(':') && !number(1, 2, &t.second)) return std::nullopt;
    skipBlanks();
    if (i != text.size()) return std::nullopt;
  }
  if (!isValidLocalTime(t)) return std::nullopt;
  return t;
}

long long clockHour(const LocalTime& t) {
  return daysFromCivil(t.year, t.month, t.day) * 24 + t.hour;
}

}  // namespace sccevtmon
