#include "PropertyList.h"

#include <new>

#include "Base64.h"
#include "BinaryReader.h"
#include "BinaryWriter.h"
#include "DateTime.h"
#include "OpenStepReader.h"
#include "Scalars.h"
#include "Text.h"
#include "XmlReader.h"

namespace plist {
namespace {

// True when the bytes start, after a byte-order mark and white space, with "<" in UTF-8 or UTF-16.
bool looksLikeXml(std::string_view b) {
    if (b.starts_with("\xFF\xFE") || b.starts_with("\xFE\xFF")) return true;
    if (b.size() >= 2 && ((b[0] == '<' && b[1] == '\0') || (b[0] == '\0' && b[1] == '<'))) return true;
    if (b.starts_with("\xEF\xBB\xBF")) b.remove_prefix(3);
    b = text::trimXmlSpace(b);
    return !b.empty() && b[0] == '<';
}

// Inner text of "<tag>inner</tag>", or none.
std::optional<std::string_view> inner(std::string_view s, std::string_view open, std::string_view close) {
    if (s.size() < open.size() + close.size() || !std::string_view(s).starts_with(open) ||
        s.substr(s.size() - close.size()) != close)
        return std::nullopt;
    return s.substr(open.size(), s.size() - open.size() - close.size());
}

// Text the direct decoder may read as the XML parser would: no markup, no references outside strings,
// no control characters, no carriage returns (which XML turns into line feeds).
// Outside our own exact text the characters are checked as an XML parser would: valid UTF-8 of characters
// XML allows, and no "]]>".
bool plain(std::string_view s, bool allowReferences, bool exact) {
    for (char c : s) {
        auto u = static_cast<uint8_t>(c);
        if (c == '<' || (c == '&' && !allowReferences) || (u < 0x20 && c != '\t' && c != '\n')) return false;
    }
    if (exact) return true;
    if (s.find("]]>") != std::string_view::npos) return false;
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        if (static_cast<uint8_t>(*p) < 0x80) {
            ++p;
            continue;
        }
        int32_t cp = text::decodeUtf8(p, end);
        if (cp < 0 || !text::isXmlChar(uint32_t(cp))) return false;
    }
    return true;
}

Error notAPropertyList(std::string reason) {
    return makeError(Error::Kind::NotPropertyList, "the data is not a property list: " + std::move(reason),
                     0);
}

Expected<std::string> utf16ToUtf8(std::string_view b, bool bigEndian) {
    if (b.size() % 2) return makeError(Error::Kind::Xml, "UTF-16 text of an odd number of bytes");
    std::string out;
    out.reserve(b.size());
    size_t n = b.size() / 2;
    const auto* u = reinterpret_cast<const uint8_t*>(b.data());
    if (bigEndian) {
        text::appendUtf16BE(out, u, n);
    } else {
        std::string swapped(b);
        for (size_t i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        text::appendUtf16BE(out, reinterpret_cast<const uint8_t*>(swapped.data()), n);
    }
    return out;
}

std::string lowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

} // namespace

// Every entry point below answers an allocation failure with noMemoryError(): nothing is kept of a parse or
// write that ran out of memory, and the caller goes on.
Expected<Parsed> parse(std::string_view bytes) try {
    if (bytes.empty()) return makeError(Error::Kind::Empty, "the data is empty", 0);
    if (std::string_view(bytes).starts_with("bplist")) {
        if (!std::string_view(bytes).starts_with("bplist00"))
            return makeError(
                Error::Kind::Binary,
                "unsupported binary property-list version \"" + std::string(bytes.substr(0, 8)) + "\"", 6);
        auto v = readBinary(bytes);
        if (!v) return v.error();
        return Parsed{std::move(*v), Format::Binary, false};
    }
    if (looksLikeXml(bytes)) {
        auto x = readXml(bytes);
        if (x) return Parsed{std::move(x->value), Format::Xml, x->hasPlistElement};
        // "<0fbd>" is old-style data, which also starts with "<".
        if (auto o = readOpenStep(bytes)) return Parsed{std::move(*o), Format::OpenStep, false};
        return x.error();
    }
    if (looksLikeOpenStep(bytes)) {
        auto o = readOpenStep(bytes);
        if (!o) return notAPropertyList(o.error().message);
        return Parsed{std::move(*o), Format::OpenStep, false};
    }
    return notAPropertyList("it is neither XML, binary (\"bplist00\") nor the old text format");
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

Expected<ParsedText> parseToXmlText(std::string_view bytes, XmlWriteOptions options,
                                    const ParseWatcher& watcher) try {
    if (bytes.empty() || std::string_view(bytes).starts_with("bplist") || looksLikeXml(bytes)) {
        // Binary files grow about threefold as text, XML files keep their size.
        options.sizeHint = std::string_view(bytes).starts_with("bplist") ? bytes.size() * 3
                                                                         : bytes.size() + bytes.size() / 8;
        XmlTextSink sink(options);
        std::optional<Error> error;
        ParsedText result;
        if (std::string_view(bytes).starts_with("bplist00")) {
            error = readBinary(bytes, sink);
            result.format = Format::Binary;
        } else if (!std::string_view(bytes).starts_with("bplist") && !bytes.empty()) {
            auto r = readXml(bytes, sink, watcher);
            if (r)
                result.hasPlistElement = *r;
            else
                error = r.error();
        } else {
            error = parse(bytes).error(); // empty, or a binary version we do not read
        }
        // The sink's own reason wins: the reader only saw that it stopped.
        if (sink.error()) return *sink.error();
        if (error && error->kind == Error::Kind::Cancelled) return *error;
        if (error) {
            // Old-style data such as "<0fbd>" also starts with "<": let the full parse decide.
            auto full = parse(bytes);
            if (!full) return *error;
            auto t = writeXml(full->value, options);
            if (!t) return t.error();
            return ParsedText{std::move(*t), full->format, full->hasPlistElement};
        }
        auto text = sink.finish();
        if (!text) return text.error();
        result.text = std::move(*text);
        return result;
    }
    auto full = parse(bytes);
    if (!full) return full.error();
    auto t = writeXml(full->value, options);
    if (!t) return t.error();
    return ParsedText{std::move(*t), full->format, full->hasPlistElement};
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

Expected<std::string> serialize(const Value& value, Format format, XmlWriteOptions xmlOptions) try {
    switch (format) {
    case Format::Xml:
        return writeXml(value, xmlOptions);
    case Format::Binary:
        return writeBinary(value);
    case Format::OpenStep:
        break;
    }
    return makeError(Error::Kind::Unrepresentable, "the old text format is read, never written");
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

Expected<Value> parseText(std::string_view text) try {
    auto x = readXml(text);
    if (!x) return x.error();
    return std::move(x->value);
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

Expected<Value> parseElement(std::string_view line, bool exact) try {
    std::string_view s = text::trimXmlSpace(line);
    auto bad = [&](const char* what) {
        return makeError(Error::Kind::Xml,
                         std::string(what) + " in \"" + std::string(s.substr(0, 60)) + "\"");
    };
    if (s.size() > 2 && s[0] == '<') {
        switch (s[1]) {
        case 's':
            if (s == "<string/>") return Value(std::string());
            if (auto in = inner(s, "<string>", "</string>"); in && plain(*in, true, exact)) {
                std::string out;
                out.reserve(in->size());
                if (text::decodeCharacterData(*in, exact, out)) return Value(std::move(out));
                break; // a form the direct decoder does not know: let the XML parser judge it
            }
            break;
        case 'i':
            if (auto in = inner(s, "<integer>", "</integer>"); in && plain(*in, false, exact)) {
                if (auto v = scalars::parseInteger(*in)) return Value(*v);
                return bad("an integer outside -2^63 to 2^64-1 or not a number");
            }
            break;
        case 'r':
            if (auto in = inner(s, "<real>", "</real>"); in && plain(*in, false, exact)) {
                if (auto v = scalars::parseReal(*in)) return Value(*v);
                return bad("a real that is not a number");
            }
            break;
        case 't':
            if (s == "<true/>" || s == "<true></true>") return Value(true);
            break;
        case 'f':
            if (s == "<false/>" || s == "<false></false>") return Value(false);
            break;
        case 'd':
            if (auto in = inner(s, "<date>", "</date>"); in && plain(*in, false, exact)) {
                auto v = exact ? datetime::parseExact(*in) : datetime::parseIso8601(*in);
                if (v) return Value(Date{*v});
                return bad("a date that is not of the form YYYY-MM-DDTHH:MM:SSZ");
            }
            if (auto in = inner(s, "<data>", "</data>"); in && plain(*in, false, exact)) {
                if (auto v = base64::decode(*in)) return Value(std::move(*v));
                return bad("data that is not Base64");
            }
            break;
        }
    }
    return parseText(s);
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

Expected<std::string> readXmlText(std::string_view bytes) try {
    auto check = readXml(bytes);
    if (!check) return check.error();
    if (std::string_view(bytes).starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    if (std::string_view(bytes).starts_with("\xFE\xFF")) return utf16ToUtf8(bytes.substr(2), true);
    if (std::string_view(bytes).starts_with("\xFF\xFE")) return utf16ToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] == '<') return utf16ToUtf8(bytes, true);
    if (bytes.size() >= 2 && bytes[0] == '<' && bytes[1] == '\0') return utf16ToUtf8(bytes, false);
    // Single-byte encodings: the declaration names the encoding, UTF-8 when it names none.
    std::string_view head = bytes.substr(0, bytes.find("?>"));
    std::string encoding = "utf-8";
    if (std::string_view(bytes).starts_with("<?xml")) {
        size_t at = head.find("encoding");
        if (at != std::string_view::npos) {
            size_t q = head.find_first_of("\"'", at);
            if (q != std::string_view::npos) {
                size_t e = head.find(head[q], q + 1);
                if (e != std::string_view::npos) encoding = lowerAscii(head.substr(q + 1, e - q - 1));
            }
        }
    }
    if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "iso_8859-1") {
        std::string out;
        out.reserve(bytes.size());
        for (char c : bytes)
            text::appendUtf8(out, static_cast<uint8_t>(c));
        return out;
    }
    // expat accepted the document, so UTF-8 and US-ASCII text is valid as it stands.
    return std::string(bytes);
} catch (const std::bad_alloc&) {
    return noMemoryError();
}

} // namespace plist
