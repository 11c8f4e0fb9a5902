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
// fraction of a second.
inline std::string dump(const Entry& e, bool wholeSecondDates = false, const std::string& indent = "") {
    auto exact = [](double d) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%a", d);
        return std::isnan(d) ? std::string("nan") : std::string(buf);
    };
    std::string out = indent + std::string(typeName(e.type())) + " ";
    if (e.isContainer()) {
        for (const EntryRef& c : e.child()) {
            if (e.type() == EntryType::Dictionary) out.append("\n").append(indent).append("[" + c->key + "]");
            out.append("\n").append(dump(*c, wholeSecondDates, indent + "  "));
        }
    } else if (auto n = std::get_if<Number>(&e.value())) {
        out += n->isReal ? "real " + exact(n->real) : "integer " + n->integer.toString();
    } else if (auto d = std::get_if<plist::Date>(&e.value())) {
        out += exact(wholeSecondDates && std::isfinite(d->seconds) ? std::floor(d->seconds) : d->seconds);
    } else if (auto b = std::get_if<Data>(&e.value())) {
        for (uint8_t byte : *b) {
            out += "0123456789abcdef"[byte >> 4];
            out += "0123456789abcdef"[byte & 15];
        }
    } else if (auto t = std::get_if<bool>(&e.value())) {
        out += *t ? "true" : "false";
    } else {
        out.append("\"").append(e.stringValue()).append("\"");
    }
    return out;
}

} // namespace model::test
