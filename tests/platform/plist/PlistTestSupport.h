// Shared helpers of the property-list, model and command-line tests: short value builders, a document of
// every type, a readable printer for failures, temporary folders and files, and python3.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <numeric>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/plist/Error.h"
#include "platform/plist/Text.h"
#include "platform/plist/Value.h"
#include "platform/plist/XmlWriter.h"

namespace plist {
namespace test {

// The element lines of a written XML document, without its head and tail, or what is wrong with it.
inline std::string bodyOf(const Expected<std::string>& xml) {
    if (!xml.ok()) return "error: " + xml.error().message;
    std::string_view s = *xml;
    if (!s.starts_with(kXmlHead) || !s.substr(kXmlHead.size()).ends_with(kXmlTail))
        return "bad frame: " + *xml;
    return std::string(s.substr(kXmlHead.size(), s.size() - kXmlHead.size() - kXmlTail.size()));
}

} // namespace test

// Lets GoogleTest show a value as its XML element when an expectation fails; the exact form shows any value.
inline void PrintTo(const Value& v, std::ostream* os) {
    *os << test::bodyOf(writeXml(v, {.exact = true}));
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

// A document of every type that both formats hold, with the values that are hard to write and read back:
// integers over the whole range, markup and every kind of line break in keys and strings, an empty key,
// empty containers and data, a date before 1900.
inline Value everyType() {
    Data bytes(256);
    std::iota(bytes.begin(), bytes.end(), uint8_t(0));
    // clang-format off
    return dict({{"string", "h\xC3\xA9llo & <tags> \xE2\x98\x83 \xF0\x9F\x98\x80"},
                 {"lines", "tab\there\nline\rcr\r\n\xE2\x80\xA8sep\xE2\x80\xA9\xC2\x85"},
                 {"key\twith\nbreaks\xE2\x80\xA8", ""}, {"", "empty key"},
                 {"neg", integer(-42)}, {"min", integer(INT64_MIN)}, {"max", integer(INT64_MAX)},
                 {"big", Value::unsignedInteger(UINT64_MAX)}, {"real", Value(0.1 + 0.2)},
                 {"whole", Value(2.0)}, {"inf", Value(-HUGE_VAL)}, {"tiny", Value(5e-324)},
                 {"yes", Value(true)}, {"no", Value(false)},
                 {"date", Value(Date{730902896})}, {"old", Value(Date{-3182198400})},
                 {"data", Value(bytes)}, {"nodata", Value(Data())},
                 {"array", arr({"a", arr({}), dict({}), arr({integer(1), arr({"deep"})})})},
                 {"nested", dict({{"k", dict({{"l", "m"}})}})}});
    // clang-format on
}

// The text as UTF-16 code units in the given byte order.
inline std::string utf16(std::string_view utf8, bool bigEndian) {
    std::string out;
    for (char16_t u : text::toUtf16(utf8)) {
        out += char(bigEndian ? u >> 8 : u & 0xFF);
        out += char(bigEndian ? u & 0xFF : u >> 8);
    }
    return out;
}

// The value read, or the error as a string value, so that a failed read fails the comparison that follows.
inline Value valueOf(const Expected<Value>& r) {
    return r.ok() ? *r : Value("error: " + r.error().message);
}
// The kind of a failure, or none for a success.
template <typename T> std::optional<Error::Kind> kindOf(const Expected<T>& r) {
    return r.ok() ? std::nullopt : std::optional(r.error().kind);
}

// The message of a failed result, for assertion output.
template <typename T> std::string messageOf(const Expected<T>& r) {
    return r.ok() ? std::string("(no error)") : r.error().message;
}

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
struct TempDir {
    TempDir(const TempDir&) = delete;
    TempDir() {
        std::string pattern = "/tmp/vantrel-test-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        if (std::error_code ec; !path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::string path_;
};

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline bool hasPython3() {
    return std::system("python3 -c 'import plistlib' >/dev/null 2>&1") == 0;
}

// Runs a python3 script with arguments (paths without quotes); gives its exit status.
inline int runPython(const std::string& script, const std::vector<std::string>& args) {
    std::string command = "python3 -";
    for (const auto& a : args)
        command += " '" + a + "'";
    int status = std::system((command + " <<'END_OF_SCRIPT'\n" + script + "\nEND_OF_SCRIPT\n").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace test
} // namespace plist
