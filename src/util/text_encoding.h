#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace sccevtmon {

// The monitor's text is single-byte ANSI: Windows-1252 on the portable build, the system's
// ANSI code page on Windows (installed at start with useCodePage, so that event texts and
// channel names agree with the *A functions and with the texts handed to COM). These
// conversions run at the edges: registry files, XML documents and event records arrive as
// UTF-8 or UTF-16. A character the code page cannot hold becomes '?'; so does a malformed
// UTF-8 or UTF-16 sequence.

// A single-byte code page: the Unicode character of each byte.
struct CodePage {
  int number = 1252;
  std::array<char32_t, 256> characters{};
};
// Windows-1252, the code page until another is installed.
const CodePage& windows1252();
// Installs the code page every conversion below uses, for the rest of the process (one
// thread: installed before anything converts).
void useCodePage(const CodePage& page);
// The installed code page's number.
int codePageNumber();
// Windows-1252 text as UTF-8, whatever code page is installed (for documents that declare it).
std::string windows1252ToUtf8(std::string_view text);

// The code-page byte of a Unicode code point, or '?' when there is none.
char unicodeToAnsi(char32_t codePoint);
// The Unicode code point of a code-page byte.
char32_t ansiToUnicode(unsigned char byte);

std::string utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);
// The code-page text of UTF-8 text that converts without loss, or nothing when the text is not
// well-formed UTF-8 or holds a character the code page cannot hold.
std::optional<std::string> utf8ToAnsiExactly(std::string_view utf8);
// UTF-16 little-endian bytes (an odd last byte is dropped).
std::string utf16leToAnsi(std::string_view bytes);
std::string utf16leToUtf8(std::string_view bytes);

}  // namespace sccevtmon
