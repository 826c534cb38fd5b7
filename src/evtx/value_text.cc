#include "evtx/value_text.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace evtx::detail {
namespace {

template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void appendDecimal(T value, std::string& out) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// "0x" and value as exactly digits hexadecimal digits.
void appendHex(std::uint64_t value, int digits, const char* alphabet, std::string& out,
               bool prefix = false) {
  char buffer[18] = {'0', 'x'};
  char* d = buffer + (prefix ? 2 : 0);
  for (int k = digits - 1; k >= 0; --k) {
    d[k] = alphabet[value & 0xF];
    value >>= 4;
  }
  out.append(buffer, static_cast<std::size_t>(d - buffer + digits));
}

void appendDigits(std::uint32_t v, int digits, std::string& out) {
  char buffer[12];
  for (int k = digits - 1; k >= 0; --k) {
    buffer[k] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out.append(buffer, digits);
}

// yyyy-mm-ddThh:mm:ss.fffffffffZ (nine digits of fraction, from 100 ns units).
void appendIsoTime(const CivilTime& t, std::uint32_t nanoseconds, std::string& out) {
  if (t.year > 9999) {
    appendDecimal(t.year, out);
  } else {
    appendDigits(static_cast<std::uint32_t>(t.year), 4, out);
  }
  char b[26] = {'-', 0, 0, '-', 0, 0, 'T', 0, 0, ':', 0, 0, ':', 0, 0, '.'};
  auto two = [&](int at, int v) {
    b[at] = static_cast<char>('0' + v / 10 % 10);
    b[at + 1] = static_cast<char>('0' + v % 10);
  };
  two(1, t.month), two(4, t.day), two(7, t.hour), two(10, t.minute), two(13, t.second);
  for (int k = 24; k >= 16; --k) {
    b[k] = static_cast<char>('0' + nanoseconds % 10);
    nanoseconds /= 10;
  }
  b[25] = 'Z';
  out.append(b, sizeof b);
}

void appendGuid(const unsigned char* p, std::string& out) {
  char b[38];
  auto hex = [&](int at, std::uint64_t v, int digits) {
    for (int k = digits - 1; k >= 0; --k, v >>= 4) b[at + k] = kUpperHex[v & 0xF];
  };
  b[0] = '{';
  hex(1, load<std::uint32_t>(p), 8);
  b[9] = '-';
  hex(10, load<std::uint16_t>(p + 4), 4);
  b[14] = '-';
  hex(15, load<std::uint16_t>(p + 6), 4);
  b[19] = '-';
  hex(20, p[8], 2);
  hex(22, p[9], 2);
  b[24] = '-';
  for (int k = 10; k < 16; ++k) hex(25 + 2 * (k - 10), p[k], 2);
  b[37] = '}';
  out.append(b, sizeof b);
}

// A SID: revision, sub-authority count, 48-bit authority (big-endian), then the 32-bit
// sub-authorities.
Fit appendSid(const unsigned char* p, std::size_t size, std::string& out) {
  if (size < 8) return Fit::kBadLength;
  unsigned count = p[1];
  if (size < 8 + 4 * static_cast<std::size_t>(count)) return Fit::kBadLength;
  std::uint64_t authority = 0;
  for (int k = 2; k < 8; ++k) authority = (authority << 8) | p[k];
  out += "S-";
  appendDecimal(static_cast<unsigned>(p[0]), out);
  out += '-';
  if (authority >> 32) {
    appendHex(authority, 12, kUpperHex, out, true);
  } else {
    appendDecimal(authority, out);
  }
  for (unsigned k = 0; k < count; ++k) {
    out += '-';
    appendDecimal(load<std::uint32_t>(p + 8 + 4 * k), out);
  }
  return Fit::kFits;
}

void appendReal(double value, std::string& out) {
  char buffer[40];
  int n = std::snprintf(buffer, sizeof buffer, "%.16g", value);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

void appendCodePoint(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16(const unsigned char* p, std::size_t count, std::string& out) {
  // Written in place: at most three bytes per code unit.
  std::size_t start = out.size();
  out.resize(start + 3 * count);
  char* d = out.data() + start;
  std::size_t i = 0;
  while (i < count) {
    // Four ASCII characters at once: no unit above 0x7F and none zero.
    if (count - i >= 4) {
      std::uint64_t four;
      std::memcpy(&four, p + 2 * i, 8);
      constexpr std::uint64_t kOnes = 0x0001000100010001ULL, kHigh = 0xFF80FF80FF80FF80ULL;
      if ((four & kHigh) == 0 && ((four - kOnes) & 0x8000800080008000ULL) == 0) {
        d[0] = static_cast<char>(four);
        d[1] = static_cast<char>(four >> 16);
        d[2] = static_cast<char>(four >> 32);
        d[3] = static_cast<char>(four >> 48);
        d += 4;
        i += 4;
        continue;
      }
    }
    char32_t u = static_cast<char32_t>(p[2 * i] | (p[2 * i + 1] << 8));
    if (u == 0) break;
    ++i;
    if (u < 0x80) {
      *d++ = static_cast<char>(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      char32_t v = i < count ? static_cast<char32_t>(p[2 * i] | (p[2 * i + 1] << 8)) : 0;
      if (u <= 0xDBFF && v >= 0xDC00 && v <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
        ++i;
      } else {
        u = 0xFFFD;
      }
    }
    if (u < 0x800) {
      *d++ = static_cast<char>(0xC0 | (u >> 6));
      *d++ = static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      *d++ = static_cast<char>(0xE0 | (u >> 12));
      *d++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *d++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      *d++ = static_cast<char>(0xF0 | (u >> 18));
      *d++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      *d++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *d++ = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(d - out.data()));
}

bool fileTimeToCivil(std::uint64_t fileTime, CivilTime* t) {
  std::uint64_t seconds = fileTime / 10000000;
  t->ticks = static_cast<std::uint32_t>(fileTime % 10000000);
  std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
  std::int64_t rest = static_cast<std::int64_t>(seconds % 86400);
  t->hour = static_cast<int>(rest / 3600);
  t->minute = static_cast<int>(rest / 60 % 60);
  t->second = static_cast<int>(rest % 60);
  // Days since 1601-01-01 to a civil date (proleptic Gregorian), counted from 0000-03-01.
  std::int64_t z = days + 584694;  // 1601-01-01 is day 584694 after 0000-03-01
  std::int64_t era = z / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = yoe + era * 400;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  if (m <= 2) ++y;
  t->year = static_cast<int>(y);
  t->month = m;
  t->day = d;
  return y <= 9999;
}

int arrayElementSize(std::uint8_t type) {
  switch (type) {
    case kString:
    case kAnsiString:
      return 0;
    case kInt8:
    case kUInt8:
      return 1;
    case kInt16:
    case kUInt16:
      return 2;
    case kInt32:
    case kUInt32:
    case kReal32:
    case kBool:
    case kHexInt32:
      return 4;
    case kInt64:
    case kUInt64:
    case kReal64:
    case kFileTime:
    case kHexInt64:
      return 8;
    case kGuid:
    case kSystemTime:
      return 16;
    default:
      return -1;
  }
}

Fit appendScalar(std::uint8_t type, const unsigned char* p, std::size_t size, std::string& out) {
  auto fixed = [&](std::size_t n) { return size == n; };
  switch (type) {
    case kNull:
      return Fit::kFits;
    case kString:
      if (size % 2 != 0) return Fit::kBadLength;
      appendUtf16(p, size / 2, out);
      return Fit::kFits;
    case kAnsiString:
      // Code page bytes; those above ASCII are read as Windows-1252 would show them.
      for (std::size_t i = 0; i < size && p[i] != 0; ++i) {
        if (p[i] < 0x80) {
          out += static_cast<char>(p[i]);
        } else {
          static constexpr char16_t k80[32] = {
              0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
              0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
          appendCodePoint(p[i] < 0xA0 ? k80[p[i] - 0x80] : p[i], out);
        }
      }
      return Fit::kFits;
    case kInt8:
      if (!fixed(1)) return Fit::kBadLength;
      appendDecimal(static_cast<int>(static_cast<std::int8_t>(p[0])), out);
      return Fit::kFits;
    case kUInt8:
      if (!fixed(1)) return Fit::kBadLength;
      appendDecimal(static_cast<unsigned>(p[0]), out);
      return Fit::kFits;
    case kInt16:
      if (!fixed(2)) return Fit::kBadLength;
      appendDecimal(static_cast<int>(load<std::int16_t>(p)), out);
      return Fit::kFits;
    case kUInt16:
      if (!fixed(2)) return Fit::kBadLength;
      appendDecimal(static_cast<unsigned>(load<std::uint16_t>(p)), out);
      return Fit::kFits;
    case kInt32:
      if (!fixed(4)) return Fit::kBadLength;
      appendDecimal(load<std::int32_t>(p), out);
      return Fit::kFits;
    case kUInt32:
      if (!fixed(4)) return Fit::kBadLength;
      appendDecimal(load<std::uint32_t>(p), out);
      return Fit::kFits;
    case kInt64:
      if (!fixed(8)) return Fit::kBadLength;
      appendDecimal(load<std::int64_t>(p), out);
      return Fit::kFits;
    case kUInt64:
      if (!fixed(8)) return Fit::kBadLength;
      appendDecimal(load<std::uint64_t>(p), out);
      return Fit::kFits;
    case kReal32:
      if (!fixed(4)) return Fit::kBadLength;
      appendReal(load<float>(p), out);
      return Fit::kFits;
    case kReal64:
      if (!fixed(8)) return Fit::kBadLength;
      appendReal(load<double>(p), out);
      return Fit::kFits;
    case kBool:
      if (!fixed(4)) return Fit::kBadLength;
      out += load<std::uint32_t>(p) != 0 ? "true" : "false";
      return Fit::kFits;
    case kBinary: {
      std::size_t start = out.size();
      out.resize(start + 2 * size);
      for (std::size_t i = 0; i < size; ++i) {
        out[start + 2 * i] = kUpperHex[p[i] >> 4];
        out[start + 2 * i + 1] = kUpperHex[p[i] & 0xF];
      }
      return Fit::kFits;
    }
    case kGuid:
      if (!fixed(16)) return Fit::kBadLength;
      appendGuid(p, out);
      return Fit::kFits;
    case kSizeT:
      if (size == 4) {
        appendHex(load<std::uint32_t>(p), 8, kLowerHex, out, true);
        return Fit::kFits;
      }
      if (size == 8) {
        appendHex(load<std::uint64_t>(p), 16, kLowerHex, out, true);
        return Fit::kFits;
      }
      return Fit::kBadLength;
    case kFileTime: {
      if (!fixed(8)) return Fit::kBadLength;
      CivilTime t;
      fileTimeToCivil(load<std::uint64_t>(p), &t);
      appendIsoTime(t, t.ticks * 100, out);
      return Fit::kFits;
    }
    case kSystemTime: {
      if (!fixed(16)) return Fit::kBadLength;
      CivilTime t{load<std::uint16_t>(p),
                  load<std::uint16_t>(p + 2),
                  load<std::uint16_t>(p + 6),
                  load<std::uint16_t>(p + 8),
                  load<std::uint16_t>(p + 10),
                  load<std::uint16_t>(p + 12),
                  0};
      std::uint32_t ms = load<std::uint16_t>(p + 14);
      if (t.year > 9999 || t.month > 99 || t.day > 99 || t.hour > 99 || t.minute > 99 ||
          t.second > 99 || ms > 999) {
        return Fit::kBadValue;
      }
      appendIsoTime(t, ms * 1000000, out);
      return Fit::kFits;
    }
    case kSid:
      return appendSid(p, size, out);
    case kHexInt32:
      if (!fixed(4)) return Fit::kBadLength;
      appendHex(load<std::uint32_t>(p), 8, kLowerHex, out, true);
      return Fit::kFits;
    case kHexInt64:
      if (!fixed(8)) return Fit::kBadLength;
      appendHex(load<std::uint64_t>(p), 16, kLowerHex, out, true);
      return Fit::kFits;
    default:
      // EvtHandle, and codes that are no value type.
      return Fit::kBadValue;
  }
}

}  // namespace evtx::detail
