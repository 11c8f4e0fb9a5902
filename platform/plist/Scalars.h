// Text of the scalar elements of XML property lists: integers, reals and booleans.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Value.h"

namespace plist::scalars {

// Decimal or "0x" hexadecimal with an optional sign, surrounding XML white space allowed; none outside
// -2^63 .. 2^64-1 or for any other text.
std::optional<Integer> parseInteger(std::string_view text);

// A decimal real with optional exponent, or "nan", "inf", "infinity" with an optional sign in any case;
// surrounding XML white space allowed.
std::optional<double> parseReal(std::string_view text);

// The shortest text that reads back as the same double; infinities and NaN in the published forms
// "+infinity", "-infinity" and "nan".
std::string formatReal(double v);

} // namespace plist::scalars
