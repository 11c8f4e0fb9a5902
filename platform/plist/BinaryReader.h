// Reads binary property lists ("bplist00"), distrusting every number in the file.
#pragma once

#include <string_view>

#include "Error.h"
#include "Value.h"

namespace plist {

// Every size, offset and reference is checked against the file before it is used; an object that contains
// itself is refused; nesting past kMaxNestingDepth is refused; and a file whose shared containers would
// expand to far more values than it holds references is refused, so memory stays proportional to the input.
Expected<Value> readBinary(std::string_view bytes);

} // namespace plist
