// Reads XML property lists with expat into values, without recursion on the input's depth.
#pragma once

#include <string_view>

#include "Error.h"
#include "EventSink.h"
#include "Value.h"

namespace plist {

struct XmlParsed {
    Value value;
    // The document element was <plist>; a lone value element is read too, and says so here.
    bool hasPlistElement = false;
};

// Parses a whole XML document in the encodings expat knows (UTF-8, UTF-16 with or without a byte-order mark,
// ISO-8859-1, US-ASCII) and, converted to UTF-8 through iconv, any other its declaration names
// (windows-1252, macintosh, Shift_JIS, ...). Error offsets are in the document's own bytes. Entity
// declarations are refused, so no entity can expand; external entities are never loaded.
Expected<XmlParsed> readXml(std::string_view bytes);

// The same, handing each value to a sink as it is read. Gives whether the document element was <plist>.
Expected<bool> readXml(std::string_view bytes, EventSink& sink);

} // namespace plist
