// Shared helpers of the model and command-line tests: tree dumps and save messages, with the helpers of the
// property-list tests (value builders, temporary folders and files, python3).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "model/Entry.h"
#include "model/PlistDocument.h"
#include "platform/plist/BinaryWriter.h"
#include "platform/plist/PropertyList.h"
#include "tests/platform/plist/PlistTestSupport.h"

namespace model::test {

using namespace plist::test;

// The message of a save refused for a value that XML cannot hold at this key path.
inline std::string unrepresentable(const std::string& keyPath) {
    std::string_view m = kUnrepresentableMessage;
    size_t at = m.find("%@");
    return std::string(m.substr(0, at)) + keyPath + std::string(m.substr(at + 2));
}

// A tree as text, one line an entry: the keys of dictionary entries, types and values told fully apart (the
// kind of a number, every bit of a real or a date, every byte). With wholeSecondDates, dates lose their
// fraction of a second; with ids, every entry shows its number.
inline std::string dump(const Entry& e, bool wholeSecondDates = false, const std::string& indent = "",
                        bool ids = false) {
    auto exact = [](double d) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%a", d);
        return std::isnan(d) ? std::string("nan") : std::string(buf);
    };
    std::string out = indent + (ids ? "#" + std::to_string(e.idNumber()) + " " : "") +
                      std::string(typeName(e.type())) + " ";
    if (e.isContainer()) {
        for (const EntryRef& c : e.child()) {
            if (e.type() == EntryType::Dictionary) out.append("\n").append(indent).append("[" + c->key + "]");
            out.append("\n").append(dump(*c, wholeSecondDates, indent + "  ", ids));
        }
        return out;
    }
    const Entry::Value v = e.value();
    if (auto n = std::get_if<Number>(&v)) {
        out += n->isReal ? "real " + exact(n->real) : "integer " + n->integer.toString();
    } else if (auto d = std::get_if<plist::Date>(&v)) {
        out += exact(wholeSecondDates && std::isfinite(d->seconds) ? std::floor(d->seconds) : d->seconds);
    } else if (auto b = std::get_if<Data>(&v)) {
        for (uint8_t byte : *b) {
            out += "0123456789abcdef"[byte >> 4];
            out += "0123456789abcdef"[byte & 15];
        }
    } else if (auto t = std::get_if<bool>(&v)) {
        out += *t ? "true" : "false";
    } else {
        out.append("\"").append(e.stringValue()).append("\"");
    }
    return out;
}

// Binary bytes read straight into entries and read through the services' exact text and the line reader give
// the same tree, numbered alike, or the same refusal; the straight tree, if any.
inline EntryRef expectBothBinaryLoadsAgree(std::string_view binary, const std::string& what) {
    PlistDocument straight, viaText;
    straight.setIdNumber(7);
    viaText.setIdNumber(7);
    auto tree = straight.rootEntryWithBinaryData(binary);
    auto text = plist::parseToXmlText(binary, {.exact = true});
    auto read = text ? viaText.makeRootEntryWithXML(text->text) : model::ReadError{};
    EntryRef through = read ? *read : EntryRef();
    EXPECT_EQ(straight.idNumber(), viaText.idNumber()) << what;
    if (!tree || !through) {
        EXPECT_EQ(tree ? "" : tree.error().message, text ? "" : text.error().message) << what;
        EXPECT_EQ(tree.ok(), bool(through)) << what;
        return {};
    }
    EXPECT_EQ(dump(**tree, false, "", true), dump(*through, false, "", true)) << what;
    return *tree;
}

using plist::Value;
inline Value uid(uint64_t n) {
    return Value(plist::Uid{n});
}
// The class dictionary that a keyed archive's objects name through $class.
inline Value cls(const char* name) {
    return dict({{"$classes", arr({name, "NSObject"})}, {"$classname", name}});
}
// A keyed archive in binary, as NSKeyedArchiver lays it out; no $top when top is none.
inline std::string archiveBytes(std::optional<Value> top, std::initializer_list<Value> objects) {
    Value::Dictionary root{{"$archiver", Value("NSKeyedArchiver")}, {"$version", integer(100000)}};
    if (top) root.emplace_back("$top", *top);
    root.emplace_back("$objects", arr(objects));
    return *plist::writeBinary(Value(root));
}

} // namespace model::test
