// Reads binary property lists ("bplist00"), distrusting every number in the file.
#pragma once

#include <string_view>

#include "Error.h"
#include "EventSink.h"
#include "Value.h"

namespace plist {

// Every size, offset and reference is checked against the file before it is used; an object that contains
// itself is refused; nesting past kMaxNestingDepth is refused; and a file whose shared containers would
// expand to far more values than it holds references is refused, so memory stays proportional to the input.
Expected<Value> readBinary(std::string_view bytes);

// The same, handing each value to a sink as it is read.
std::optional<Error> readBinary(std::string_view bytes, EventSink& sink);

} // namespace plist
