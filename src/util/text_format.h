#pragma once

#include <string>
#include <string_view>

#include "util/civil_time.h"

namespace sccevtmon {

// Number and time texts appended to a caller's buffer, without the printf family: a detail row
// makes several of them, and a run writes hundreds of thousands of rows and log lines.

// value in decimal ("-42").
void appendDecimal(std::string& out, long long value);

// value in decimal, zero-filled after the sign to at least width characters, as printf's
// "%0*lld" writes it (-1 at width 3 is "-01"); a longer text is written whole.
void appendZeroPadded(std::string& out, long long value, int width);

// value as printf's "%.15G" writes it: up to 15 significant digits, trailing zeros dropped,
// exponent form ("1E+15", "1E-05") for very large or small values, "INF" and "NAN".
void appendGeneral15(std::string& out, double value);

// t as MM/DD/YYYY HH:NN:SS, "/" and ":" literal whatever the locale.
void appendTimestamp(std::string& out, const LocalTime& t);

// t as the 14 digits MMDDYYYYHHNNSS.
void appendFileStamp(std::string& out, const LocalTime& t);

// Whether text has exactly the shape appendTimestamp writes: 19 characters, two-digit fields
// and a four-digit year with "/", " " and ":" between them. Says nothing of whether the date
// exists.
bool hasTimestampShape(std::string_view text);

}  // namespace sccevtmon
