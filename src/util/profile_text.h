#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sccevtmon {

// The private-profile rules over the text of one INI file, shared by the file-backed stand-in
// and the in-memory fake. Section and key names compare without regard to case; spaces and
// tabs around names and values are ignored; a value in matching double or single quotes loses
// them; the first of two equal keys wins, and of two equal sections only the first is read.
// CR LF and LF line ends are read.

// The value of section/key, or nothing when the section or key is missing.
std::optional<std::string> profileLookup(std::string_view content, std::string_view section,
                                         std::string_view key);

// The names of the sections of an INI text, in order, as the lookup reads its header lines.
std::vector<std::string> profileSectionNames(std::string_view content);

// The leading decimal number of a value, as the integer read does ("12abc" is 12, "abc" 0).
std::int32_t profileInteger(std::string_view value);

// What the string read gives for a lookup's result: the value, or else the default without
// its trailing spaces.
std::string_view profileStringOrDefault(const std::optional<std::string>& value,
                                        std::string_view defaultValue);

// What the integer read gives for a lookup's result: the value's leading number, or the
// default when the key is missing or its value empty.
std::int32_t profileIntegerOrDefault(const std::optional<std::string>& value,
                                     std::int32_t defaultValue);

// The file text after writing section/key = value: an existing key's line is replaced in
// place, a new key goes after the last key of its section, a new section at the end. Every
// other line stays as it was; lines end with CR LF.
std::string profileUpdate(std::string_view content, std::string_view section, std::string_view key,
                          std::string_view value);

// Whether the bytes of an INI file are Unicode as the profile functions tell it: they start
// with the UTF-16LE byte-order mark (as Notepad saves "Unicode").
bool isUtf16Profile(std::string_view bytes);

// The text of an INI file's bytes as the ANSI profile functions read it: a Unicode file is
// converted to the program's ANSI text (a character the code page cannot hold becomes '?');
// any other file is its bytes.
std::string profileTextOf(std::string_view bytes);

// The bytes to write for text: UTF-16LE with its byte-order mark when the file was Unicode
// (writing keeps a file's encoding), else the text itself.
std::string profileBytesOf(std::string_view text, bool utf16);

// Copies value into buffer the way GetPrivateProfileString does: cut to size() - 1 characters,
// followed by a NUL. Returns the number of characters copied.
std::uint32_t profileCopyToBuffer(std::string_view value, std::string& buffer);

}  // namespace sccevtmon
