#pragma once

#include <string>
#include <string_view>

namespace sccevtmon {

// Case and blanks of protocol and file-format text (names, schemes, file extensions, INI and
// registry syntax). Only the ASCII letters A-Z and a-z change case; every other byte stays as
// it is, whatever the locale. (Texts the monitor compares the way Windows compares its ANSI
// strings use the code-page rules of base/text.h instead.)

char asciiLower(char c);
std::string asciiLower(std::string_view text);
// Whether a and b are equal but for the case of ASCII letters.
bool asciiEqualsNoCase(std::string_view a, std::string_view b);
bool asciiStartsWithNoCase(std::string_view text, std::string_view prefix);
bool asciiEndsWithNoCase(std::string_view text, std::string_view suffix);

// Blanks: space and tab; white space adds CR and LF.
inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kWhiteSpace = " \t\r\n";

// text without the given characters at either end.
std::string_view trimAscii(std::string_view text, std::string_view blanks = kBlanks);

}  // namespace sccevtmon
