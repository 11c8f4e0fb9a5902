// Text converted to UTF-8 from another character encoding through the C library's iconv, keeping the way
// back from a position in the UTF-8 text to the byte of the source it came from.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plist {

class Transcoding {
public:
    enum class Fault {
        None,
        UnknownEncoding, // iconv does not know the name
        BadSequence,     // bytes that are no character in the encoding
        Truncated,       // the source ends inside a character
    };

    // Converts source, in the named encoding, to UTF-8. The name is handed to iconv as it is: the caller
    // keeps out anything but a plain encoding name (no "//IGNORE" or "//TRANSLIT" suffixes). On a fault,
    // utf8() holds the text converted before it.
    Transcoding(std::string_view source, std::string encoding);

    Fault fault() const { return fault_; }
    // The source byte where the fault is.
    size_t faultOffset() const { return faultOffset_; }
    std::string& utf8() { return utf8_; }

    // The offset in the source of the character that begins at, or covers, utf8Offset in the UTF-8 text.
    // Exact for encodings without shift states.
    size_t sourceOffset(size_t utf8Offset) const;

private:
    std::string_view source_;
    std::string encoding_;
    std::string utf8_;
    // (UTF-8 offset, source offset) pairs at character boundaries, in order, every few hundred kilobytes.
    std::vector<std::pair<size_t, size_t>> marks_;
    Fault fault_ = Fault::None;
    size_t faultOffset_ = 0;
};

} // namespace plist
