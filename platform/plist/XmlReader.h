// Reads XML property lists with expat into values, without recursion on the input's depth.
#pragma once

#include <cstdint>
#include <functional>
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
// declarations are refused, so no entity can expand; external entities are never loaded. Running out of
// memory, in expat or in a sink, throws std::bad_alloc once the parse has stopped, as any allocation in this
// layer does; the services' entry points turn it into an error.
Expected<XmlParsed> readXml(std::string_view bytes);

// Told now and then (every few thousand elements) how many of the document's bytes the parse has passed and
// their total; answering false stops the parse with an error of kind Cancelled.
using ParseWatcher = std::function<bool(uint64_t done, uint64_t total)>;

// The same, handing each value to a sink as it is read. Gives whether the document element was <plist>.
Expected<bool> readXml(std::string_view bytes, EventSink& sink, const ParseWatcher& watcher = {});

} // namespace plist
