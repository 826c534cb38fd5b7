#pragma once

namespace sccevtmon {

// Makes the program's conversions (util/text_encoding.h) use the system's ANSI code page, the
// one the *A functions and COM's callers use, so that an event's text reads alike in the
// report files, in the posted XML and in the names the system is asked for. A double-byte or
// UTF-8 system code page (932, 936, 949, 950, 65001) cannot be held one byte a character: the
// program keeps Windows-1252 there.
void useSystemCodePage();

}  // namespace sccevtmon
