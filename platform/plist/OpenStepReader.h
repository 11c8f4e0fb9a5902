// Reads the old text ("OpenStep") property-list format, so that such files are recognised for what they are.
#pragma once

#include <string_view>

#include "Error.h"
#include "Value.h"

namespace plist {

// Grammar: a value is a dictionary "{ key = value; ... }", an array "( value, ... )", data "<hex digits>",
// a quoted string with backslash escapes, or a bare string of letters, digits and _$+/:.-; comments are
// "//" to the line end and "/* */". A document is one value, or a strings-file body of "key = value;" pairs.
// JSON and other text fail.
Expected<Value> readOpenStep(std::string_view text);

// True when the text, after white space and comments, starts the way an old text document does: with "{",
// "(", a quote or a bare-string character. Only a cheap look before a full read.
bool looksLikeOpenStep(std::string_view text);

} // namespace plist
