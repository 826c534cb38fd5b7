#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "util/civil_time.h"

namespace sccevtmon {

// Run timestamp text: MM/DD/YYYY HH:NN:SS with literal '/' and ':' whatever the locale.
std::string runTimestamp(const LocalTime& t);

// File-name stamp: the 14 digits MMDDYYYYHHNNSS.
std::string fileStamp(const LocalTime& t);

// Reads a date and time written month first ("03/07/2026 14:05:09"; one- or two-digit fields,
// the time part optional), with surrounding blanks. Nothing when the text is not a valid date.
std::optional<LocalTime> parseRunTimestamp(std::string_view text);

// The clock-hour number of a time: whole hours since 1970-01-01 00:00, minutes and seconds cut
// off. The difference of two such numbers counts the hour boundaries crossed between them.
long long clockHour(const LocalTime& t);

}  // namespace sccevtmon
