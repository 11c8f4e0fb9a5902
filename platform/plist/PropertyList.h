// The property-list services: one face for reading and writing every format the editor knows.
//
// Callers never switch on a format's reader or writer themselves: parse() recognises the format of a file's
// bytes, serialize() writes either of the two formats the editor saves.
#pragma once

#include <string>
#include <string_view>

#include "Error.h"
#include "Value.h"
#include "XmlReader.h"
#include "XmlWriter.h"

namespace plist {

// The numbers are the ones documents and callers exchange.
enum class Format : int { OpenStep = 1, Xml = 100, Binary = 200 };

struct Parsed {
    Value value;
    Format format = Format::Xml;
    // For XML: the document element was <plist> (a lone value element is read too).
    bool hasPlistElement = false;
};

// Parses a file's whole contents. Binary ("bplist00"), XML in any encoding expat decodes, and the old text
// format (recognised well enough to report it) are read; empty bytes, JSON and other data are errors.
Expected<Parsed> parse(std::string_view bytes);

// Parses a file's contents straight into XML text in the writer's layout, without building values: the
// editor's load path, where the text goes on to the line-oriented reader. An XML parse tells the watcher how
// far it has come, and stops with an error of kind Cancelled when it answers false.
struct ParsedText {
    std::string text;
    Format format = Format::Xml;
    bool hasPlistElement = false;
};
Expected<ParsedText> parseToXmlText(std::string_view bytes, XmlWriteOptions options,
                                    const ParseWatcher& watcher = {});

// Writes XML (the published layout, see writeXml) or binary ("bplist00"). OpenStep is not written.
Expected<std::string> serialize(const Value& value, Format format, XmlWriteOptions xmlOptions = {});

// Parses property-list text: a whole XML document or one element on its own ("<date>...</date>"), with
// character references and predefined entities decoded, CDATA unwrapped, comments and processing
// instructions skipped.
Expected<Value> parseText(std::string_view text);

// Parses one element line as the editor's own writers produce it, without starting an XML parser for the
// common forms: "<string>", "<integer>", "<real>", "<true/>", "<false/>", "<date>", "<data>" with their
// closing tags on the same line. Any other form goes to parseText. With exact set, the forms that
// XmlWriteOptions::exact writes are read too.
Expected<Value> parseElement(std::string_view line, bool exact = false);

// The text of an XML file as UTF-8, decoded by its byte-order mark or declared encoding (UTF-8, UTF-16 LE
// and BE, US-ASCII, ISO-8859-1), in the file's own line layout; an error for ill-formed XML.
Expected<std::string> readXmlText(std::string_view bytes);

} // namespace plist
