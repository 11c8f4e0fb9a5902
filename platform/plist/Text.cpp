#include "Text.h"

#include <charconv>
#include <cstddef>

namespace plist::text {
namespace {

bool isHighSurrogate(int64_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(int64_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
uint32_t joinSurrogates(uint32_t high, uint32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

} // namespace

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int32_t decodeUtf8(const char*& p, const char* end) {
    auto b = [&](ptrdiff_t i) { return static_cast<uint8_t>(p[i]); };
    uint8_t c = b(0);
    if (c < 0x80) {
        ++p;
        return c;
    }
    int n;
    uint32_t cp, min;
    if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        ++p;
        return -1;
    }
    if (end - p < n) {
        ++p;
        return -1;
    }
    for (int i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) {
            ++p;
            return -1;
        }
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF) {
        ++p;
        return -1;
    }
    p += n;
    return int32_t(cp);
}

void appendUtf16BE(std::string& out, const uint8_t* u, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = uint32_t(u[2 * i]) << 8 | u[2 * i + 1];
        if (isHighSurrogate(c) && i + 1 < count) {
            uint32_t d = uint32_t(u[2 * i + 2]) << 8 | u[2 * i + 3];
            if (isLowSurrogate(d)) {
                c = joinSurrogates(c, d);
                ++i;
            }
        }
        appendUtf8(out, c);
    }
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        int32_t c = decodeUtf8(p, end);
        if (c < 0) c = 0xFFFD;
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

namespace {

// Copies the text, handing each character that keep() refuses, or each byte that is not UTF-8 (code point
// -1), to replace(). A high surrogate followed by a low one, written as two three-byte sequences, is taken as
// the one character they encode together: only a lone surrogate keeps a three-byte form of its own.
template <typename Keep, typename Replace>
std::string transcode(std::string_view s, Keep keep, Replace replace) {
    std::string out;
    out.reserve(s.size());
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        const char* at = p;
        int32_t c = decodeUtf8(p, end);
        bool joined = false;
        if (isHighSurrogate(c) && p < end) {
            const char* next = p;
            int32_t d = decodeUtf8(next, end);
            if (isLowSurrogate(d)) {
                c = int32_t(joinSurrogates(uint32_t(c), uint32_t(d)));
                p = next;
                joined = true;
            }
        }
        if (c < 0 || !keep(c))
            replace(out, c, static_cast<uint8_t>(*at));
        else if (joined)
            appendUtf8(out, uint32_t(c));
        else
            out.append(at, p);
    }
    return out;
}

} // namespace

std::string validUtf8(std::string_view s) {
    return transcode(
        s, [](int32_t) { return true; },
        [](std::string& out, int32_t, uint8_t byte) { appendUtf8(out, byte); });
}

std::string xmlSafe(std::string_view s) {
    return transcode(
        s, [](int32_t c) { return isXmlChar(uint32_t(c)); },
        [](std::string& out, int32_t, uint8_t) { out += "\xEF\xBF\xBD"; });
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    return true;
}

bool isStrictUtf8(std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        int32_t c = decodeUtf8(p, end);
        if (c < 0 || (c >= 0xD800 && c <= 0xDFFF)) return false;
    }
    return true;
}

namespace {

void appendReference(std::string& out, uint32_t c) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, c);
    out += "&#";
    out.append(buf, r.ptr);
    out += ';';
}

} // namespace

bool appendEscaped(std::string& out, std::string_view s, bool exact) {
    const char* p = s.data();
    const char* end = p + s.size();
    const char* run = p; // start of bytes copied unchanged
    while (p < end) {
        uint8_t c = static_cast<uint8_t>(*p);
        if (c >= 0x20 && c < 0x80 && c != '&' && c != '<' && c != '>') {
            ++p;
            continue;
        }
        // Bytes of the common non-ASCII characters need no escape; decode only to check them.
        const char* at = p;
        int32_t cp;
        if (c < 0x80) {
            cp = c;
            ++p;
        } else {
            cp = decodeUtf8(p, end);
            if (cp >= 0 && isXmlChar(uint32_t(cp)) && cp != 0x85 && cp != 0x2028 && cp != 0x2029) continue;
        }
        out.append(run, at);
        switch (cp) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case 0x9:
        case 0xA:
        case 0xD:
        case 0x85:
        case 0x2028:
        case 0x2029:
            appendReference(out, uint32_t(cp));
            break;
        default:
            if (!exact) return false;
            appendReference(out, cp < 0 ? 0xFFFD : uint32_t(cp));
        }
        run = p;
    }
    out.append(run, end);
    return true;
}

bool decodeCharacterData(std::string_view s, bool exact, std::string& out) {
    size_t i = 0;
    while (i < s.size()) {
        size_t amp = s.find_first_of("&<", i);
        if (amp == std::string_view::npos) {
            out.append(s.substr(i));
            break;
        }
        out.append(s.substr(i, amp - i));
        if (s[amp] == '<') return false;
        size_t semi = s.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 12) return false;
        std::string_view name = s.substr(amp + 1, semi - amp - 1);
        if (name == "amp") {
            out += '&';
        } else if (name == "lt") {
            out += '<';
        } else if (name == "gt") {
            out += '>';
        } else if (name == "quot") {
            out += '"';
        } else if (name == "apos") {
            out += '\'';
        } else if (name.size() >= 2 && name[0] == '#') {
            uint32_t cp = 0;
            std::from_chars_result r;
            if (name[1] == 'x') {
                if (name.size() < 3) return false;
                r = std::from_chars(name.data() + 2, name.data() + name.size(), cp, 16);
            } else {
                r = std::from_chars(name.data() + 1, name.data() + name.size(), cp, 10);
            }
            if (r.ec != std::errc() || r.ptr != name.data() + name.size()) return false;
            if (exact ? cp > 0x10FFFF : !isXmlChar(cp)) return false;
            // A high and a low surrogate written as two references are one character.
            if (isLowSurrogate(cp) && out.size() >= 3) {
                const char* tail = out.data() + out.size() - 3;
                const char* end = out.data() + out.size();
                int32_t high = decodeUtf8(tail, end);
                if (isHighSurrogate(high) && tail == end) {
                    out.resize(out.size() - 3);
                    cp = joinSurrogates(uint32_t(high), cp);
                }
            }
            appendUtf8(out, cp);
        } else {
            return false;
        }
        i = semi + 1;
    }
    return true;
}

} // namespace plist::text
