#include "FuzzChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace fuzz {
namespace {

using plist::Value;
using Type = plist::Value::Type;

// Scalars checked one by one in the exact form, at most this many per input, so that a small binary file
// whose shared objects expand to a million values does not run into the time limit.
constexpr size_t kMaxExactChecks = 512;

bool isUidDictionary(const Value& v) {
    if (v.type() != Type::Dictionary || v.dictionary().size() != 1) return false;
    const auto& [key, x] = v.dictionary().front();
    return key == "CF$UID" && x.type() == Type::Integer && !x.integer().isNegative();
}

template <typename Same> bool sameContainers(const Value& a, const Value& b, Same same) {
    if (a.type() != b.type()) return false;
    if (a.type() == Type::Array) {
        if (a.array().size() != b.array().size()) return false;
        for (size_t i = 0; i < a.array().size(); ++i)
            if (!same(a.array()[i], b.array()[i])) return false;
        return true;
    }
    if (a.dictionary().size() != b.dictionary().size()) return false;
    for (size_t i = 0; i < a.dictionary().size(); ++i) {
        if (a.dictionary()[i].first != b.dictionary()[i].first) return false;
        if (!same(a.dictionary()[i].second, b.dictionary()[i].second)) return false;
    }
    return true;
}

bool sameAfterBinary(const Value& original, const Value& back) {
    if (isUidDictionary(original))
        return back.type() == Type::Uid &&
               back.uid().value == original.dictionary().front().second.integer().asUnsigned();
    if (!original.isContainer()) return original == back;
    return sameContainers(original, back, sameAfterBinary);
}

bool sameAfterXml(const Value& original, const Value& back) {
    switch (original.type()) {
    case Type::Uid:
        return isUidDictionary(back) &&
               back.dictionary().front().second.integer().asUnsigned() == original.uid().value;
    case Type::Date:
        return back.type() == Type::Date && back.date().seconds == std::floor(original.date().seconds);
    case Type::Array:
    case Type::Dictionary:
        return sameContainers(original, back, sameAfterXml);
    default:
        return original == back;
    }
}

void collectScalars(const Value& v, std::vector<Value>& out) {
    if (out.size() >= kMaxExactChecks) return;
    switch (v.type()) {
    case Type::Array:
        for (const Value& x : v.array())
            collectScalars(x, out);
        return;
    case Type::Dictionary:
        for (const auto& [key, x] : v.dictionary()) {
            if (out.size() < kMaxExactChecks) out.emplace_back(key);
            collectScalars(x, out);
        }
        return;
    case Type::Data:
    case Type::Uid:
        return; // several lines, or a dictionary
    default:
        out.push_back(v);
    }
}

} // namespace

void require(bool condition, const char* what, std::string_view detail) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    if (!detail.empty())
        std::fprintf(stderr, "  %.*s\n", int(std::min<size_t>(detail.size(), 400)), detail.data());
    __builtin_trap();
}

bool wellFormed(std::string_view s) {
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    bool afterHighSurrogate = false;
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<uint8_t>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c, n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1Fu, n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0Fu, n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07u, n = 4;
        } else {
            return false;
        }
        if (s.size() - i < n) return false;
        for (size_t k = 1; k < n; ++k) {
            auto d = static_cast<uint8_t>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3Fu);
        }
        if (cp < kLeast[n] || cp > 0x10FFFF) return false;
        bool high = cp >= 0xD800 && cp <= 0xDBFF;
        bool low = cp >= 0xDC00 && cp <= 0xDFFF;
        if (afterHighSurrogate && low) return false; // a surrogate pair is one four-byte sequence
        afterHighSurrogate = high;
        i += n;
    }
    return true;
}

bool stringsWellFormed(const Value& v) {
    switch (v.type()) {
    case Type::String:
        return wellFormed(v.string());
    case Type::Array:
        for (const Value& x : v.array())
            if (!stringsWellFormed(x)) return false;
        return true;
    case Type::Dictionary:
        for (const auto& [key, x] : v.dictionary())
            if (!wellFormed(key) || !stringsWellFormed(x)) return false;
        return true;
    default:
        return true;
    }
}

void checkError(const plist::Error& e, size_t inputSize) {
    require(!e.message.empty(), "an error without a message");
    require(e.offset >= -1 && e.offset <= int64_t(inputSize), "an error offset outside the input");
}

void checkBinaryRoundTrip(const Value& v) {
    auto binary = plist::serialize(v, plist::Format::Binary);
    require(binary.ok(), "binary serialization failed for a value a reader gave");
    auto back = plist::parse(*binary);
    require(back.ok(), "the binary writer's output does not parse");
    require(back->format == plist::Format::Binary, "the binary writer's output parses as another format");
    require(sameAfterBinary(v, back->value), "binary round trip changed the value");
}

void checkXmlRoundTrip(const Value& v) {
    auto xml = plist::serialize(v, plist::Format::Xml);
    if (!xml) {
        auto kind = xml.error().kind;
        require(kind == plist::Error::Kind::Unrepresentable || kind == plist::Error::Kind::TooDeep,
                "XML serialization failed with an unexpected kind of error");
        return;
    }
    auto back = plist::parse(*xml);
    require(back.ok(), "the XML writer's output does not parse");
    require(back->format == plist::Format::Xml && back->hasPlistElement,
            "the XML writer's output parses as something else");
    require(sameAfterXml(v, back->value), "XML round trip changed the value");
}

void checkExactForms(const Value& v) {
    plist::XmlWriteOptions exact;
    exact.exact = true;
    auto whole = plist::serialize(v, plist::Format::Xml, exact);
    require(whole.ok() || whole.error().kind == plist::Error::Kind::TooDeep,
            "exact XML serialization failed other than by depth");
    std::vector<Value> scalars;
    collectScalars(v, scalars);
    for (const Value& s : scalars) {
        auto text = plist::serialize(s, plist::Format::Xml, exact);
        require(text.ok(), "exact XML serialization of a scalar failed");
        std::string_view doc = *text;
        require(doc.size() >= plist::kXmlHead.size() + plist::kXmlTail.size(),
                "exact XML shorter than its frame");
        std::string_view line =
            doc.substr(plist::kXmlHead.size(), doc.size() - plist::kXmlHead.size() - plist::kXmlTail.size());
        require(line.find('\n') == std::string_view::npos, "a scalar's exact element spans several lines");
        auto back = plist::parseElement(line, true);
        require(back.ok(), "parseElement(exact) refuses the exact writer's element", line);
        require(*back == s, "exact element round trip changed the value", line);
    }
}

void checkValue(const Value& v) {
    require(stringsWellFormed(v), "a string that is not well-formed UTF-8");
    checkBinaryRoundTrip(v);
    checkXmlRoundTrip(v);
    checkExactForms(v);
}

} // namespace fuzz
