// Writes values as binary property lists ("bplist00").
#pragma once

#include <string>

#include "Error.h"
#include "Value.h"

namespace plist {

// Scalars that occur more than once are stored once; integer, reference and offset widths are the smallest
// that fit. A dictionary whose only key is "CF$UID" with a non-negative integer value is written as a uid,
// so keyed archives survive a trip through XML. Strings are ASCII when they can be, UTF-16 otherwise (lone
// surrogates kept). Fails with TooDeep past kMaxNestingDepth.
Expected<std::string> writeBinary(const Value& value);

} // namespace plist
