// The document's XML writer: entries into the one-element-per-line text that the line reader reads back.
//
// Its layout differs from the services' writer (data on one line, reals in the value column's text form, n/a
// entries as strings), and a value it refuses is named by the key path of the entry that holds it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "Entry.h"
#include "platform/plist/Error.h"

namespace model {

// How the writer treats values that XML property-list text cannot hold (control characters other than tab,
// line feed and carriage return, lone surrogates, U+FFFE and U+FFFF, dates outside years 1 to 9999).
enum class WriteMode {
    Strict,    // saving as XML: such a value fails the write, with the key path of the entry that holds it
    Exact,     // our own text between our own readers: such values are kept in forms only our reader reads
    Sanitized, // text for other programs: such characters become U+FFFD, dates are clamped into years 1 to
               // 9999
};

// The message for a document saved as XML that holds a value XML cannot store; %@ is the key path.
inline constexpr std::string_view kUnrepresentableMessage =
    "This document holds a value that an XML property list cannot store (in \u201c%@\u201d). Save it in the "
    "Binary format instead.";

class PlistWriter {
public:
    explicit PlistWriter(WriteMode mode) : mode_(mode) {}

    // Takes the text piece by piece; answers false when it could not take a piece.
    using TextSink = std::function<bool(std::string_view)>;
    static constexpr size_t kFlushBytes = size_t(1) << 20;
    // From now on, whenever the text passes kFlushBytes between two entries, it is handed to sink and the
    // text starts again empty; a refused piece fails the write with an error of kind Io.
    void flushTo(const TextSink* sink) { sink_ = sink; }

    // Appends the one-line element of a scalar entry.
    bool scalar(const Entry& e, std::string& out);
    // Appends a container element holding these children, each on a line of its own indented by level + 1
    // tabs, the closing tag indented by level.
    bool container(const Children& child, unsigned level, bool dictionary, std::string& out);
    // Appends the element of an entry standing at the top: an empty container as "<array/>" or "<dict/>".
    bool topElement(const Entry& e, std::string& out);

    // Why the last call returned false: the message names the entry's key path.
    plist::Error error() const;

private:
    bool tooDeep(const Entry* e);
    bool fail(const Entry* e);
    bool text(const Entry& e, std::string_view s, std::string& out);
    bool date(const Entry& e, std::string& out);

    bool flushIfFull(std::string& out);

    WriteMode mode_;
    const TextSink* sink_ = nullptr;
    bool refused_ = false;
    std::string failedPath_;
    bool tooDeep_ = false;
};

} // namespace model
