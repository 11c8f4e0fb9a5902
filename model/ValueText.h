// The text forms of entry values: how each is shown, typed, and converted between types.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Entry.h"

namespace model {

// The number's text form, lossless both ways: integers in decimal over the whole range; reals as the shortest
// text that reads back as the same double, always with a "." or an exponent ("2.0", "0.30000000000000004",
// "1e+20"), and "inf", "-inf", "nan".
std::string numberText(const Number& n);

// Reads text as a number leniently, as a type change does; white space at either end is dropped first. A
// text that is as a whole a decimal with an exponent ("1e+20", "2.5E-3") or "inf", "infinity" or "nan" in any
// case after an optional sign is a real. Otherwise a text containing "." is a real from its longest decimal
// prefix, and any other text an integer from its sign and digits, clamped to -2^63 .. 2^64-1; no digits give
// 0 ("3 eggs" is 3, "information" is 0).
Number numberWithText(std::string_view text);
// Reads text typed into a Number's field strictly: after white space at either end is dropped, the whole text
// is one number or the result is none. It is a decimal integer with an optional sign from -2^63 to 2^64-1,
// the same written in hexadecimal after "0x", a decimal real with an optional exponent that a double holds
// (not so large that it becomes infinite, nor so small that it becomes 0), or "inf", "infinity" or "nan" in
// any case with an optional sign.
std::optional<Number> numberWithTypedText(std::string_view text);

// The truth value of a text: after leading white space and one optional sign followed by zeros, true exactly
// when the next character is Y, y, T, t or a digit 1 to 9.
bool boolWithText(std::string_view text);

// "yyyy/MM/dd H:mm:ss" in the local time zone (TZ is honoured), fractions of a second not shown.
std::string descriptionOfDate(plist::Date d);
// Reads exactly the texts descriptionOfDate writes (the hour with one or two digits) as local time.
std::optional<plist::Date> dateWithDescription(std::string_view text);

// The ISO 8601 UTC text of a saved file's date element ("2001-01-01T00:00:00Z"), whole seconds; dates
// outside years 1 to 9999 are clamped into them.
std::string dateStringOfISO8601FormatWithDate(plist::Date d);
std::optional<plist::Date> dateWithISO8601FormatString(std::string_view text);

// Hexadecimal data forms. dataWithHexString: pairs of hex digits, spaces (U+0020 only) ignored.
std::optional<Data> dataWithHexString(std::string_view text);
// The bracket form "<48656c6c 6f>".
std::optional<Data> dataWithOldHexString(std::string_view text);
// Anything, then the first "0x", then hex digits and spaces, optionally ending in "}".
std::optional<Data> dataWithNewHexString(std::string_view text);
// The form the value column shows and the editor starts with: "<48656c6c 6f>", groups of four bytes.
std::string descriptionOfData(std::span<const uint8_t> d);

// How a character that would show nothing or break a row is shown, as UTF-8: tab "\u21e5", line feed and
// the line and paragraph separators "\u21b5", carriage return "\u23ce", the other C0 controls and DEL as
// their Unicode control pictures ("\u2401" for U+0001). With pictures false, or for the C1 controls, which
// have no pictures, an escape such as "\\u{1}". Empty for every other character.
std::string visibleMark(char32_t c, bool pictures = true);
// UTF-8 text with every such character replaced by its mark; the rest is kept byte for byte.
std::string withVisibleMarks(std::string_view text);

// "(1 item)" or "(N items)".
std::string childCountText(size_t n);

// The value as the value column shows it: the string itself, the number's text form, "true"/"false", the
// display date, the data's hex form, the child count of a container, "unknown data" for "n/a".
std::string valueText(const Entry& e);

} // namespace model
