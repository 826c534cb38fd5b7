#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sccevtmon {

// Removes leading and trailing spaces (code 32) only; tabs and line breaks stay.
std::string trimSpaces(std::string_view text);

// The numeric value of a text: the number it starts with. Blanks, tabs and line feeds are
// skipped wherever they stand ("1 2" reads as 12); an optional sign, digits, an optional
// decimal point and an optional exponent (E or D) are read; reading stops at the first
// character that does not fit; no leading number reads as 0. A value too large for a double
// reads as the largest double of its sign.
double numericValue(std::string_view text);

// The shortest decimal text of a number, as the classic runtime prints it: up to 15
// significant digits, '.' as decimal separator, exponent form ("1E+20", "1E-05") only for very
// large or small values. 100 gives "100", 2.5 gives "2.5", -3 gives "-3".
std::string numberText(double value);

// Upper and lower case in the ANSI code page (ASCII and the Latin-1 letters).
std::string toUpperAnsi(std::string_view text);
std::string toLowerAnsi(std::string_view text);
// Whether text in upper case equals upper, which is in upper case already.
bool upperEquals(std::string_view text, std::string_view upper);
// Replaces out with text in upper case (out keeps its room from one call to the next).
void upperInto(std::string_view text, std::string& out);

// Case-insensitive equality in the ANSI code page.
bool equalsNoCase(std::string_view a, std::string_view b);

// How many single-character insertions, deletions and replacements turn a into b: how far a
// misspelled name lies from the name meant.
std::size_t editDistance(std::string_view a, std::string_view b);

// Element text with "&", "<" and ">" escaped; other characters unchanged.
std::string escapeXmlText(std::string_view text);

// A CDATA section holding text. A "]]>" inside the text is written as two adjacent sections
// ("]]" closes the first, ">" opens the second), so the document stays well-formed and reads
// back as the original text.
std::string cdataSection(std::string_view text);
// The same section appended to out.
void appendCdataSection(std::string& out, std::string_view text);

// "<tag>" + text + "</tag>"; the text is written as given (escape it first where needed).
std::string xmlElement(std::string_view tag, std::string_view text);

// Text of a whole number in decimal.
std::string decimal(long long value);

// The text copies of the report files are logged at the end of a run; each copy keeps, and
// the activity log receives, at most its first 1 MiB.
inline constexpr std::size_t kReportCopyBytes = std::size_t{1} << 20;

// Appends an element to a report file's text copy, which stops growing one byte past
// kReportCopyBytes (that byte tells the copy was cut).
void appendToCopy(std::string& copy, std::string_view element);

// A text copy as the activity log gets it: whole, or its first kReportCopyBytes followed by
// " ...[cut at 1 MiB]".
std::string loggedCopy(const std::string& copy);

}  // namespace sccevtmon
