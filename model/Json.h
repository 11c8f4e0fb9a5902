// JSON forms of a property list: the plain mapping other programs read, and a typed form that keeps every
// type and value exactly.
//
// Plain: dictionaries are objects (key order and duplicate keys kept), arrays are arrays, strings strings,
// integers exact over -2^63 .. 2^64-1, reals in their shortest exact text with a "." or an exponent,
// Booleans, dates as ISO 8601 text in whole seconds, data as Base64 text, UIDs as integers. Reals and dates
// that JSON cannot hold (inf, nan, years outside 1 to 9999) are refused with their key path.
//
// Typed: as plain, except {"$date": "2024-03-01T09:05:07.25Z"} (the exact text; "#" and the seconds from
// 2001 for instants outside years 1 to 9999), {"$data": "SGVsbG8="}, {"$uid": 5}, {"$real": "inf"} for
// reals that are no JSON number (inf, -inf, nan), and {"$dict": {...}} for a dictionary whose first key is
// one of these five.
#pragma once

#include <string>
#include <string_view>

#include "platform/plist/Error.h"
#include "platform/plist/Value.h"

namespace model {

struct JsonOptions {
    bool typed = false;
};

plist::Expected<std::string> writeJson(const plist::Value& value, JsonOptions options = {});

// The JSON of a property-list file's bytes (binary, XML): binary files are written as they are read, with no
// tree of values built. The old text format is refused with kOldTextRefusal.
plist::Expected<std::string> propertyListToJson(std::string_view bytes, JsonOptions options = {});
inline constexpr std::string_view kOldTextRefusal =
    "the file is in the old text property-list format, which the editor does not open";

// Reads JSON text (one value, UTF-8). Plain: a number with "." or an exponent is a real, any other an
// integer; null and integers outside the range are refused. Errors say where, as "line L, column C: reason".
// text must leave room for the parser's padding: it may be reserved to grow by kJsonPadding without moving.
plist::Expected<plist::Value> readJson(std::string& text, JsonOptions options = {});
extern const size_t kJsonPadding;

} // namespace model
