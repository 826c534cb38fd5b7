#include "util/text_encoding.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace sccevtmon {
namespace {

// Code points of the Windows-1252 bytes 0x80..0x9F. The five bytes Windows leaves undefined
// map to the C1 control of the same number, as the system's conversion does.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

CodePage makeWindows1252() {
  CodePage page;
  for (char32_t b = 0; b < 256; ++b) page.characters[b] = b;
  for (size_t k = 0; k < kHighControls.size(); ++k) page.characters[0x80 + k] = kHighControls[k];
  return page;
}

// The installed code page, and the bytes of its characters above ASCII sorted by character
// (the lowest byte where two bytes give one character) for the way back.
struct InstalledCodePage {
  CodePage page;
  std::vector<std::pair<char32_t, unsigned char>> bytes;

  explicit InstalledCodePage(const CodePage& p) : page(p) {
    for (int b = 0x80; b < 256; ++b)
      bytes.emplace_back(p.characters[b], static_cast<unsigned char>(b));
    std::stable_sort(bytes.begin(), bytes.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
  }
};

InstalledCodePage& installed() {
  static InstalledCodePage current(windows1252());
  return current;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes UTF-8 and hands every code point to emit; malformed bytes give U+FFFD.
template <typename Emit>
void decodeUtf8(std::string_view in, Emit emit) {
  size_t i = 0;
  while (i < in.size()) {
    unsigned char b = static_cast<unsigned char>(in[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      emit(b);
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      cp = b & 0x07;
    } else {
      emit(0xFFFD);
      ++i;
      continue;
    }
    if (i + extra >= in.size()) {
      emit(0xFFFD);
      i = in.size();
      continue;
    }
    bool good = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(in[i + k]);
      if ((c & 0xC0) != 0x80) {
        good = false;
        break;
      }
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!good) {
      emit(0xFFFD);
      ++i;
      continue;
    }
    emit(cp);
    i += extra + 1;
  }
}

template <typename Emit>
void decodeUtf16le(std::string_view bytes, Emit emit) {
  size_t n = bytes.size() / 2;
  auto unit = [&](size_t k) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  };
  for (size_t k = 0; k < n; ++k) {
    char16_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      char16_t low = unit(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        emit(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      emit(0xFFFD);
    } else {
      emit(u);
    }
  }
}

}  // namespace

const CodePage& windows1252() {
  static const CodePage page = makeWindows1252();
  return page;
}

void useCodePage(const CodePage& page) { installed() = InstalledCodePage(page); }

int codePageNumber() { return installed().page.number; }

std::string windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) appendUtf8(out, windows1252().characters[static_cast<unsigned char>(c)]);
  return out;
}

// Every single-byte code page Windows has keeps ASCII as it is.
char unicodeToAnsi(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  const auto& bytes = installed().bytes;
  auto at =
      std::lower_bound(bytes.begin(), bytes.end(), cp,
                       [](const auto& entry, char32_t wanted) { return entry.first < wanted; });
  return at != bytes.end() && at->first == cp ? static_cast<char>(at->second) : '?';
}

char32_t ansiToUnicode(unsigned char byte) { return installed().page.characters[byte]; }

std::string utf8ToAnsi(std::string_view utf8) {
  // ASCII is the same text in both.
  if (std::all_of(utf8.begin(), utf8.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::string(utf8);
  }
  std::string out;
  out.reserve(utf8.size());
  decodeUtf8(utf8, [&](char32_t cp) { out += unicodeToAnsi(cp); });
  return out;
}

std::string ansiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) appendUtf8(out, ansiToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> utf8ToAnsiExactly(std::string_view utf8) {
  // Every code-page byte stands for one character and back, so only a lossless conversion
  // gives the same UTF-8 again.
  std::string ansi = utf8ToAnsi(utf8);
  if (ansiToUtf8(ansi) != utf8) return std::nullopt;
  return ansi;
}

std::string utf16leToAnsi(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  decodeUtf16le(bytes, [&](char32_t cp) { out += unicodeToAnsi(cp); });
  return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  decodeUtf16le(bytes, [&](char32_t cp) { appendUtf8(out, cp); });
  return out;
}

}  // namespace sccevtmon
