// Writes values as XML property-list text in the published layout.
#pragma once

#include <string>
#include <string_view>

#include "Error.h"
#include "Value.h"

namespace plist {

struct XmlWriteOptions {
    // Write values that XML cannot hold in our own exact forms (control characters and lone surrogates
    // as numeric references, dates with their fraction or outside years 1 to 9999) instead of failing.
    // Text written this way is read back only by parseElement with exact set, never by an XML parser.
    bool exact = false;
};

// The head every document starts with: XML declaration, DOCTYPE and the plist line, each ended by a line feed.
inline constexpr std::string_view kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
inline constexpr std::string_view kXmlTail = "\n</plist>\n";

// One element or tag per line, one tab of indent per level, data as Base64 lines between a "<data>" line and
// a "</data>" line, whole-second UTC dates, "<array/>" and "<dict/>" for empty containers; a uid as a
// dictionary of the single key "CF$UID". Fails with Unrepresentable for a value XML cannot hold (unless
// options.exact), with TooDeep past kMaxNestingDepth.
Expected<std::string> writeXml(const Value& value, XmlWriteOptions options = {});

} // namespace plist
