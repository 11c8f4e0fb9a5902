// Calendar arithmetic and the ISO 8601 text of XML property-list dates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plist::datetime {

// Timestamp 0 of the property-list formats is 2001-01-01 00:00:00 UTC, 978307200 s after the Unix epoch.
inline constexpr int64_t kUnixSecondsAt2001 = 978307200;

struct Civil {
    int64_t year = 2001; // proleptic Gregorian; year 0 is 1 BC
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t daysFromCivil(int64_t year, int month, int day);
// UTC calendar fields of a whole number of seconds from 2001.
Civil civilFromSeconds(int64_t secondsSince2001);
int64_t secondsFromCivil(const Civil& c);

// True when the date can be written as the whole-second ISO text: finite, years 1 to 9999.
// Fractions of a second are allowed here; the XML writer drops them.
bool fitsIsoYears(double secondsSince2001);

// "YYYY-MM-DDTHH:MM:SSZ" of floor(seconds), or none outside years 1 to 9999.
std::optional<std::string> formatIso8601(double secondsSince2001);

// Reads the published form "YYYY-MM-DDTHH:MM:SSZ"; the trailing fields may be left off from the month on
// ("2001-05Z"), as the published readers accept. Surrounding white space is allowed. Gives none
// for any other text or for fields out of range.
std::optional<double> parseIso8601(std::string_view text);

// Our own exact form for dates the published form cannot hold (fractions of a second, years outside
// 1 to 9999, infinities and NaN). Only our own element decoder reads it: "2001-01-01T00:00:00.25Z" for a
// fraction within years 1 to 9999, "#" and the shortest double text otherwise ("#-1e+300", "#nan").
std::string formatExact(double secondsSince2001);
std::optional<double> parseExact(std::string_view text);

} // namespace plist::datetime
