// Shared helpers of the property-list tests: short value builders and a readable printer for failures.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "platform/plist/Error.h"
#include "platform/plist/Value.h"
#include "platform/plist/XmlWriter.h"

namespace plist {

// Lets GoogleTest show a value as its XML element when an expectation fails; the exact form shows any value.
inline void PrintTo(const Value& v, std::ostream* os) {
    auto xml = writeXml(v, {.exact = true});
    if (!xml.ok()) *os << typeName(v.type()) << " (" << xml.error().message << ")";
    if (xml.ok()) *os << xml->substr(kXmlHead.size(), xml->size() - kXmlHead.size() - kXmlTail.size());
}

namespace test {

inline Value arr(std::initializer_list<Value> items) {
    return Value(Value::Array(items));
}
inline Value dict(std::initializer_list<std::pair<std::string, Value>> entries) {
    return Value(Value::Dictionary(entries));
}
inline Value integer(int64_t v) {
    return Value::integer(v);
}
inline Value data(std::initializer_list<uint8_t> bytes) {
    return Value(Data(bytes));
}

// depth arrays, each holding the next; the innermost holds inner.
inline Value nestedArrays(int depth, Value inner = Value(Value::Array())) {
    for (int i = 1; i < depth; ++i)
        inner = Value(Value::Array{std::move(inner)});
    return inner;
}

// UTF-16 code units of ASCII or two-byte UTF-8 text, in the given byte order.
inline std::string utf16(std::string_view utf8, bool bigEndian) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto c = uint16_t(uint8_t(utf8[i]));
        if (c >= 0xC0) c = uint16_t(((c & 0x1F) << 6) | (uint8_t(utf8[++i]) & 0x3F));
        out += bigEndian ? char(c >> 8) : char(c & 0xFF);
        out += bigEndian ? char(c & 0xFF) : char(c >> 8);
    }
    return out;
}

// The message of a failed result, for assertion output.
template <typename T> std::string messageOf(const Expected<T>& r) {
    return r.ok() ? std::string("(no error)") : r.error().message;
}

} // namespace test
} // namespace plist
