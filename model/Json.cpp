#include "Json.h"

#include <simdjson.h>

#include <charconv>
#include <cmath>
#include <new>

#include "KeyPath.h"
#include "ValueText.h"
#include "platform/plist/Base64.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/DateTime.h"
#include "platform/plist/EventSink.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/Text.h"

namespace model {

const size_t kJsonPadding = simdjson::SIMDJSON_PADDING;

namespace {

using plist::Value;
namespace od = simdjson::ondemand;

constexpr std::string_view kWrappers[] = {"$date", "$data", "$uid", "$real", "$dict"};

bool isWrapperKey(std::string_view k) {
    for (std::string_view w : kWrappers)
        if (k == w) return true;
    return false;
}

// ---- Writing ----

// Writes JSON as the events of a property list arrive, so that no tree of values need be built.
class JsonWriter final : public plist::EventSink {
public:
    JsonWriter(std::string& out, bool typed) : out_(out), typed_(typed) {}

    bool beginArray(size_t) override {
        if (!value()) return false;
        out_ += '[';
        frames_.push_back({false, false, 0, {}});
        return true;
    }
    // A dictionary's brace waits for its first key: a typed dictionary whose first key names a wrapper is
    // wrapped in {"$dict": ...}.
    bool beginDictionary(size_t) override {
        if (!value()) return false;
        frames_.push_back({true, false, 0, {}});
        return true;
    }
    bool endContainer() override {
        Frame f = std::move(frames_.back());
        frames_.pop_back();
        if (f.dictionary && f.count == 0) return out_ += "{}", true;
        if (f.count) newline(frames_.size());
        out_ += f.dictionary ? "}" : "]";
        if (f.wrapped) out_ += '}';
        return true;
    }
    bool key(std::string_view k) override {
        Frame& f = frames_.back();
        if (f.count == 0) {
            f.wrapped = typed_ && isWrapperKey(k);
            out_ += f.wrapped ? "{\"$dict\": {" : "{";
        } else {
            out_ += ',';
        }
        ++f.count;
        f.key = k;
        newline(frames_.size());
        quoted(k);
        out_ += ": ";
        return true;
    }
    bool string(std::string_view s) override { return value() && (quoted(s), true); }
    bool integer(plist::Integer i) override { return value() && (out_ += i.toString(), true); }
    bool boolean(bool b) override { return value() && (out_ += b ? "true" : "false", true); }
    bool uid(uint64_t u) override {
        if (!value()) return false;
        out_ += typed_ ? "{\"$uid\": " + std::to_string(u) + "}" : std::to_string(u);
        return true;
    }
    bool real(double d) override {
        if (!value()) return false;
        const std::string text = numberText(Number::fromReal(d));
        if (std::isfinite(d)) return out_ += text, true;
        if (!typed_) return fail("the real " + text + ", which JSON cannot hold");
        out_ += "{\"$real\": \"" + text + "\"}";
        return true;
    }
    bool date(double s) override {
        if (!value()) return false;
        if (typed_) {
            out_ += "{\"$date\": ";
            quoted(plist::datetime::formatExact(s));
            out_ += '}';
            return true;
        }
        auto iso = plist::datetime::formatIso8601(s);
        if (!iso) return fail("a date outside years 1 to 9999, which ISO 8601 text cannot hold");
        quoted(*iso);
        return true;
    }
    bool data(std::string_view bytes) override {
        if (!value()) return false;
        if (typed_) out_ += "{\"$data\": ";
        out_ += '"';
        plist::base64::encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out_);
        out_ += '"';
        if (typed_) out_ += '}';
        return true;
    }

    // Why the writer stopped, with the key path of the value it could not write.
    std::string error;
    std::vector<std::string> path;

private:
    struct Frame {
        bool dictionary;
        bool wrapped;
        size_t count;
        std::string key;
    };

    // Starts a value: after its key in a dictionary, or as the next element of an array.
    bool value() {
        if (frames_.empty() || frames_.back().dictionary) return true;
        Frame& f = frames_.back();
        if (f.count++) out_ += ',';
        newline(frames_.size());
        return true;
    }

    bool fail(std::string reason) {
        error = std::move(reason);
        for (const Frame& f : frames_)
            path.push_back(f.dictionary ? f.key : std::to_string(f.count - 1));
        return false;
    }

    void newline(size_t depth) {
        out_ += '\n';
        out_.append(depth * 2, ' ');
    }

    void quoted(std::string_view s) {
        static constexpr char kHex[] = "0123456789abcdef";
        out_ += '"';
        size_t start = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            // A lone surrogate kept in its three-byte form becomes its escape.
            const bool surrogate =
                c == 0xED && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0xA0;
            if (c >= 0x20 && c != '"' && c != '\\' && !surrogate) continue;
            out_.append(s, start, i - start);
            start = i + 1;
            switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            case '\b':
                out_ += "\\b";
                break;
            case '\f':
                out_ += "\\f";
                break;
            default: {
                uint32_t u = c;
                if (surrogate) {
                    u = 0xD000 | ((static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6) |
                        (static_cast<unsigned char>(s[i + 2]) & 0x3F);
                    i += 2;
                    start = i + 1;
                }
                out_ += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out_ += kHex[(u >> shift) & 0xF];
            }
            }
        }
        out_.append(s, start, s.size() - start);
        out_ += '"';
    }

    std::string& out_;
    bool typed_;
    std::vector<Frame> frames_;
};

plist::Error jsonRefusal(const JsonWriter& w) {
    return plist::makeError(plist::Error::Kind::Unrepresentable,
                            "JSON cannot hold the value at key path \u201c" + joinKeyPath(w.path) +
                                "\u201d: " + w.error);
}

// ---- Reading ----

class JsonReader {
public:
    JsonReader(const std::string& text, bool typed)
        : base_(text.data()), end_(text.data() + text.size()), typed_(typed) {}

    template <class V> bool read(V& v, Value& out, int depth) {
        od::json_type t;
        if (auto e = v.type().get(t)) return failCode(e);
        switch (t) {
        case od::json_type::array: {
            if (depth >= plist::kMaxNestingDepth)
                return failHere("nesting deeper than " + std::to_string(plist::kMaxNestingDepth) + " levels");
            od::array a;
            if (auto e = v.get_array().get(a)) return failCode(e);
            Value::Array items;
            for (auto element : a) {
                od::value x;
                if (auto e = std::move(element).get(x)) return failCode(e);
                items.emplace_back();
                if (!read(x, items.back(), depth + 1)) return false;
            }
            out = Value(std::move(items));
            return true;
        }
        case od::json_type::object:
            if (depth >= plist::kMaxNestingDepth)
                return failHere("nesting deeper than " + std::to_string(plist::kMaxNestingDepth) + " levels");
            return object(v, out, depth);
        case od::json_type::string: {
            std::string s;
            if (!token(v, s)) return false;
            out = Value(std::move(s));
            return true;
        }
        case od::json_type::number:
            return number(v, out);
        case od::json_type::boolean: {
            bool b;
            if (auto e = v.get_bool().get(b)) return failCode(e);
            out = Value(b);
            return true;
        }
        case od::json_type::null:
            return failAtToken(v, "null, which no property-list value stands for");
        }
        return failHere("an unknown value");
    }

    // With mayWrap, a first key that names a wrapper makes the object that value (typed form only).
    template <class V> bool object(V& v, Value& out, int depth, bool mayWrap = true) {
        od::object o;
        if (auto e = v.get_object().get(o)) return failCode(e);
        Value::Dictionary entries;
        bool wrapped = false;
        for (auto field : o) {
            od::field f;
            if (auto e = std::move(field).get(f)) return failCode(e);
            const char* keyAt = f.key().raw();
            std::string key;
            if (!unescape(keyAt, key)) return false;
            // Nothing may follow the one field of a wrapper.
            if (wrapped) return failAt(keyAt - 1, "a wrapper object that holds other keys too");
            od::value x = f.value();
            if (entries.empty() && mayWrap && typed_ && isWrapperKey(key)) {
                if (!wrapper(key, x, out, depth, keyAt)) return false;
                wrapped = true;
                continue;
            }
            entries.emplace_back(std::move(key), Value());
            if (!read(x, entries.back().second, depth + 1)) return false;
        }
        if (!wrapped) out = Value(std::move(entries));
        return true;
    }

    bool wrapper(const std::string& key, od::value& x, Value& out, int depth, const char* at) {
        od::json_type t;
        if (auto e = x.type().get(t)) return failCode(e);
        if (key == "$dict") {
            if (t != od::json_type::object) return failAt(at - 1, "$dict holds no object");
            return object(x, out, depth, false);
        }
        if (key == "$real") {
            if (t == od::json_type::number) {
                if (!number(x, out)) return false;
                if (out.type() == Value::Type::Integer) out = Value(out.integer().toDouble());
                return true;
            }
            std::string s;
            if (t != od::json_type::string) return failAt(at - 1, "$real holds no number");
            if (!token(x, s)) return false;
            auto n = numberWithTypedText(s);
            if (!n || !n->isReal)
                return failAt(at - 1, "$real holds \u201c" + s + "\u201d, which is no real");
            out = Value(n->real);
            return true;
        }
        if (key == "$uid") {
            Value n;
            if (!number(x, n)) return false;
            if (n.type() != Value::Type::Integer || n.integer().isNegative())
                return failAt(at - 1, "$uid holds no unsigned integer");
            out = Value(plist::Uid{n.integer().asUnsigned()});
            return true;
        }
        std::string s;
        if (t != od::json_type::string) return failAt(at - 1, key + " holds no string");
        if (!token(x, s)) return false;
        if (key == "$data") {
            auto bytes = plist::base64::decode(s);
            if (!bytes) return failAt(at - 1, "$data holds no Base64 text");
            out = Value(std::move(*bytes));
            return true;
        }
        auto seconds = plist::datetime::parseExact(s);
        if (!seconds) return failAt(at - 1, "$date holds \u201c" + s + "\u201d, which is no date");
        out = Value(plist::Date{*seconds});
        return true;
    }

    static simdjson::error_code rawToken(od::value& v, std::string_view& t) {
        t = v.raw_json_token();
        return simdjson::SUCCESS;
    }
    static simdjson::error_code rawToken(od::document& v, std::string_view& t) {
        return v.raw_json_token().get(t);
    }

    // A number by its own text, so that integers keep every digit and "2.0" stays a real.
    template <class V> bool number(V& v, Value& out) {
        std::string_view t;
        if (auto e = rawToken(v, t)) return failCode(e);
        while (!t.empty() && (t.back() == ' ' || t.back() == '\n' || t.back() == '\r' || t.back() == '\t'))
            t.remove_suffix(1);
        if (!isJsonNumber(t)) return failAt(t.data(), "a malformed number");
        if (t.find_first_of(".eE") != std::string_view::npos) {
            double d = 0;
            auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
            if (ec != std::errc() || !std::isfinite(d))
                return failAt(t.data(), "a number too large for a real");
            out = Value(d);
            return true;
        }
        const bool negative = t.front() == '-';
        uint64_t magnitude = 0;
        auto [p, ec] = std::from_chars(t.data() + negative, t.data() + t.size(), magnitude);
        if (ec != std::errc() || (negative && magnitude > uint64_t(INT64_MAX) + 1))
            return failAt(t.data(), "an integer outside -2^63 .. 2^64-1");
        out = Value(negative ? plist::Integer::fromSigned(int64_t(0 - magnitude))
                             : plist::Integer::fromUnsigned(magnitude));
        return true;
    }

    template <class V> bool token(V& v, std::string& s) {
        std::string_view t;
        if (auto e = rawToken(v, t)) return failCode(e);
        return unescape(t.data() + 1, s);
    }

    // The text of a string from just after its opening quote, escapes decoded; a lone surrogate escape keeps
    // its three-byte form, as the property-list readers keep one.
    bool unescape(const char* p, std::string& s) {
        const char* start = p;
        for (;; ++p) {
            if (p >= end_) return failAt(start - 1, "a string without its closing quote");
            const auto c = static_cast<unsigned char>(*p);
            if (c == '"') break;
            if (c < 0x20) return failAt(p, "a control character inside a string");
            if (c != '\\') continue;
            s.append(start, p);
            if (p + 1 >= end_) return failAt(p, "an unfinished escape");
            switch (*++p) {
            case '"':
                s += '"';
                break;
            case '\\':
                s += '\\';
                break;
            case '/':
                s += '/';
                break;
            case 'b':
                s += '\b';
                break;
            case 'f':
                s += '\f';
                break;
            case 'n':
                s += '\n';
                break;
            case 'r':
                s += '\r';
                break;
            case 't':
                s += '\t';
                break;
            case 'u': {
                uint32_t u = 0;
                if (!hex4(p + 1, u)) return failAt(p - 1, "a malformed \\u escape");
                p += 4;
                if (u >= 0xD800 && u <= 0xDBFF && p + 6 < end_ && p[1] == '\\' && p[2] == 'u') {
                    uint32_t low = 0;
                    if (hex4(p + 3, low) && low >= 0xDC00 && low <= 0xDFFF) {
                        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                        p += 6;
                    }
                }
                if (u >= 0xD800 && u <= 0xDFFF) {
                    s += char(0xE0 | (u >> 12));
                    s += char(0x80 | ((u >> 6) & 0x3F));
                    s += char(0x80 | (u & 0x3F));
                } else {
                    plist::text::appendUtf8(s, u);
                }
                break;
            }
            default:
                return failAt(p - 1, "an unknown escape");
            }
            start = p + 1;
        }
        s.append(start, p);
        return true;
    }

    static bool hex4(const char* p, uint32_t& u) {
        for (int i = 0; i < 4; ++i) {
            const char c = p[i];
            u <<= 4;
            if (c >= '0' && c <= '9')
                u |= uint32_t(c - '0');
            else if (c >= 'a' && c <= 'f')
                u |= uint32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                u |= uint32_t(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static bool isJsonNumber(std::string_view t) {
        size_t i = 0;
        auto digits = [&] {
            size_t from = i;
            while (i < t.size() && t[i] >= '0' && t[i] <= '9')
                ++i;
            return i > from;
        };
        if (i < t.size() && t[i] == '-') ++i;
        if (i < t.size() && t[i] == '0')
            ++i;
        else if (!digits())
            return false;
        if (i < t.size() && t[i] == '.' && (++i, !digits())) return false;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
            if (!digits()) return false;
        }
        return i == t.size();
    }

    bool failAt(const char* at, std::string reason) {
        if (error.empty()) {
            errorAt = at;
            error = std::move(reason);
        }
        return false;
    }
    template <class V> bool failAtToken(V& v, std::string reason) {
        std::string_view t;
        return failAt(rawToken(v, t) ? nullptr : t.data(), std::move(reason));
    }
    bool failHere(std::string reason) { return failAt(nullptr, std::move(reason)); }
    bool failCode(simdjson::error_code e) {
        if (error.empty()) code = e;
        return failAt(nullptr, simdjson::error_message(e));
    }

    // "line L, column C" of a place in the text, columns counted in characters.
    std::string where(const char* at) const {
        size_t line = 1, column = 1;
        for (const char* p = base_; p < at && p < end_; ++p) {
            if (*p == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) {
                ++column;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    const char* base_;
    const char* end_;
    bool typed_;
    std::string error;
    const char* errorAt = nullptr;
    simdjson::error_code code = simdjson::SUCCESS;
};

} // namespace

plist::Expected<std::string> writeJson(const Value& value, JsonOptions options) try {
    std::string out;
    JsonWriter w(out, options.typed);
    if (!plist::emitValue(value, w)) return jsonRefusal(w);
    out += '\n';
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<std::string> propertyListToJson(std::string_view bytes, JsonOptions options) try {
    if (!bytes.starts_with("bplist00")) {
        auto parsed = plist::parse(bytes);
        if (!parsed) return parsed.error();
        if (parsed->format == plist::Format::OpenStep)
            return plist::makeError(plist::Error::Kind::OldText, std::string(kOldTextRefusal));
        return writeJson(parsed->value, options);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    JsonWriter w(out, options.typed);
    if (auto error = plist::readBinary(bytes, w)) return w.error.empty() ? *error : jsonRefusal(w);
    out += '\n';
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

plist::Expected<Value> readJson(std::string& text, JsonOptions options) try {
    text.reserve(text.size() + kJsonPadding);
    od::parser parser;
    od::document doc;
    JsonReader r(text, options.typed);
    Value out;
    auto iterated =
        parser.iterate(simdjson::padded_string_view(text.data(), text.size(), text.capacity())).get(doc);
    bool ok = !iterated || r.failCode(iterated);
    if (ok) {
        od::json_type t;
        std::string_view token;
        const char* more = nullptr;
        ok = (!doc.type().get(t) || r.failHere("malformed JSON")) && r.read(doc, out, 0);
        // A container ends where the parser stands; a scalar's token runs on over white space to the end.
        if (ok && (t == od::json_type::array || t == od::json_type::object)) {
            if (doc.current_location().get(more)) more = nullptr;
        } else if (ok && !doc.raw_json_token().get(token) &&
                   token.data() + token.size() != text.data() + text.size()) {
            more = token.data() + token.size();
        }
        if (more) ok = r.failAt(more, "more text after the JSON value");
    }
    if (!ok) {
        const char* at = r.errorAt;
        // An unbalanced text is found out only at its end.
        if (r.code == simdjson::INCOMPLETE_ARRAY_OR_OBJECT) at = text.data() + text.size();
        if (!at) {
            const char* here = nullptr;
            if (!iterated && doc.current_location().get(here) == simdjson::SUCCESS) at = here;
        }
        if (!at && iterated == simdjson::UTF8_ERROR) {
            const char* p = text.data();
            const char* end = p + text.size();
            while (p < end) {
                const char* c = p;
                if (plist::text::decodeUtf8(p, end) < 0) {
                    at = c;
                    break;
                }
            }
        }
        if (!at) at = text.data() + text.size();
        return plist::makeError(plist::Error::Kind::NotPropertyList, r.where(at) + ": " + r.error,
                                at - text.data());
    }
    return out;
} catch (const std::bad_alloc&) {
    return plist::noMemoryError();
}

} // namespace model
