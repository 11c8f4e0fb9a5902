// Unicode and XML character-data helpers shared by the readers and writers.
//
// Strings are held as UTF-8. A binary property list may hold UTF-16 with unpaired surrogates; those are
// kept exactly by encoding each lone surrogate as its own three-byte sequence (the "WTF-8" convention),
// so a binary file read and written again keeps every code unit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plist::text {

// XML white space: space, tab, line feed, carriage return.
// The value of one hexadecimal digit, or -1.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
inline std::string_view trimXmlSpace(std::string_view s) {
    while (!s.empty() && isXmlSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isXmlSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

void appendUtf8(std::string& out, uint32_t codePoint);

// Decodes one UTF-8 (or WTF-8) sequence at p; gives the code point and advances p, or gives -1 and
// advances p by one byte for an invalid sequence.
int32_t decodeUtf8(const char*& p, const char* end);

// Big-endian UTF-16 code units to UTF-8, lone surrogates kept as WTF-8.
void appendUtf16BE(std::string& out, const uint8_t* units, size_t count);
// UTF-8/WTF-8 to UTF-16 code units; invalid bytes become U+FFFD.
std::u16string toUtf16(std::string_view s);

bool isAscii(std::string_view s);
// True when the bytes are UTF-8 in its strict form: no overlong sequences and no surrogates.
bool isStrictUtf8(std::string_view s);

// The text with every byte that is not part of a UTF-8 (or WTF-8) sequence taken as the Latin-1 character of
// that value, and every surrogate pair written as two three-byte sequences joined into one character.
std::string validUtf8(std::string_view s);
// The text with every character that XML cannot hold (and every byte that is not UTF-8) replaced by U+FFFD.
std::string xmlSafe(std::string_view s);

// True for the characters XML 1.0 allows in a document.
inline bool isXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends s as XML character data: "&", "<" and ">" as the predefined entities; tab, line feed, carriage
// return and the line separators U+0085, U+2028 and U+2029 as numeric character references, so that a
// line-oriented reader sees the whole value on one line. Characters that XML cannot hold make the
// call fail, unless exact is set: then they are written as numeric references that only
// decodeCharacterData with exact set reads back (control characters, lone surrogates, U+FFFE, U+FFFF).
bool appendEscaped(std::string& out, std::string_view s, bool exact);

// Decodes XML character data with the predefined entities and numeric character references. With exact
// set, references to any code point below U+110000 are accepted (the form appendEscaped writes).
bool decodeCharacterData(std::string_view s, bool exact, std::string& out);

} // namespace plist::text
