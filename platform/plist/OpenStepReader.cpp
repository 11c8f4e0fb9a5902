#include "OpenStepReader.h"

#include <charconv>

#include "Text.h"

namespace plist {
namespace {

bool isBare(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    Expected<Value> document() {
        skip();
        if (failed_) return *error_;
        if (pos_ == s_.size()) return fail("the text holds no value");
        size_t start = pos_;
        Value v;
        if (!value(v, 1)) return *error_;
        skip();
        if (failed_) return *error_;
        if (pos_ == s_.size()) return v;
        // A strings file: "key" = "value"; pairs with no braces around them.
        if (s_[pos_] == '=' && v.type() == Value::Type::String) {
            pos_ = start;
            Value::Dictionary d;
            if (!pairs(d, 1, false)) return *error_;
            return Value(std::move(d));
        }
        if (failed_) return *error_;
        return fail("unexpected text after the value");
    }

    bool startsLikeValue() {
        skip();
        if (failed_ || pos_ == s_.size()) return false;
        char c = s_[pos_];
        return c == '{' || c == '(' || c == '"' || c == '\'' || c == '<' || isBare(c);
    }

private:
    Error fail(const std::string& what) {
        if (!error_)
            error_ =
                makeError(Error::Kind::OldText, what + " at byte " + std::to_string(pos_), int64_t(pos_));
        failed_ = true;
        return *error_;
    }
    bool failBool(const std::string& what) {
        fail(what);
        return false;
    }

    void skip() {
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                while (pos_ < s_.size() && s_[pos_] != '\n' && s_[pos_] != '\r')
                    ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
                size_t end = s_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) {
                    fail("unterminated comment");
                    pos_ = s_.size();
                    return;
                }
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }

    bool value(Value& out, int depth) {
        if (depth > kMaxNestingDepth) {
            error_ = makeError(Error::Kind::TooDeep,
                               "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels",
                               int64_t(pos_));
            failed_ = true;
            return false;
        }
        skip();
        if (failed_) return false;
        if (pos_ == s_.size()) return failBool("the text ends where a value should be");
        char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            Value::Dictionary d;
            if (!pairs(d, depth, true)) return false;
            out = Value(std::move(d));
            return true;
        }
        if (c == '(') {
            ++pos_;
            Value::Array a;
            skip();
            if (pos_ < s_.size() && s_[pos_] == ')') {
                ++pos_;
                out = Value(std::move(a));
                return true;
            }
            for (;;) {
                Value item;
                if (!value(item, depth + 1)) return false;
                a.push_back(std::move(item));
                skip();
                if (failed_) return false;
                if (pos_ < s_.size() && s_[pos_] == ',') {
                    ++pos_;
                    skip();
                    if (pos_ < s_.size() && s_[pos_] == ')') break;
                    continue;
                }
                if (pos_ < s_.size() && s_[pos_] == ')') break;
                return failBool("expected \",\" or \")\" in an array");
            }
            ++pos_;
            out = Value(std::move(a));
            return true;
        }
        if (c == '<') return data(out);
        if (c == '"' || c == '\'') return quoted(out);
        if (isBare(c)) {
            size_t start = pos_;
            while (pos_ < s_.size() && isBare(s_[pos_]))
                ++pos_;
            out = Value(text::validUtf8(s_.substr(start, pos_ - start)));
            return true;
        }
        return failBool(std::string("unexpected character '") + c + "'");
    }

    // Reads "key = value;" pairs up to "}" (braced) or the end of the text.
    bool pairs(Value::Dictionary& d, int depth, bool braced) {
        for (;;) {
            skip();
            if (failed_) return false;
            if (pos_ == s_.size()) {
                if (braced) return failBool("unterminated dictionary");
                return true;
            }
            if (braced && s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            Value key;
            if (!value(key, depth + 1)) return false;
            if (key.type() != Value::Type::String) return failBool("a dictionary key is not a string");
            skip();
            if (pos_ == s_.size() || s_[pos_] != '=') return failBool("expected \"=\" in a dictionary");
            ++pos_;
            Value v;
            if (!value(v, depth + 1)) return false;
            skip();
            if (pos_ == s_.size() || s_[pos_] != ';') return failBool("expected \";\" in a dictionary");
            ++pos_;
            d.emplace_back(std::move(key.string()), std::move(v));
        }
    }

    bool data(Value& out) {
        ++pos_;
        Data bytes;
        int high = -1;
        while (pos_ < s_.size() && s_[pos_] != '>') {
            char c = s_[pos_++];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
            int h = text::hexDigit(c);
            if (h < 0) return failBool("data holds a character that is not a hexadecimal digit");
            if (high < 0) {
                high = h;
            } else {
                bytes.push_back(uint8_t(high << 4 | h));
                high = -1;
            }
        }
        if (pos_ == s_.size()) return failBool("unterminated data");
        if (high >= 0) return failBool("data holds an odd number of hexadecimal digits");
        ++pos_;
        out = Value(std::move(bytes));
        return true;
    }

    bool quoted(Value& out) {
        char q = s_[pos_++];
        std::string str;
        while (pos_ < s_.size() && s_[pos_] != q) {
            char c = s_[pos_++];
            if (c != '\\') {
                str += c;
                continue;
            }
            if (pos_ == s_.size()) break;
            char e = s_[pos_++];
            switch (e) {
            case 'n':
                str += '\n';
                break;
            case 't':
                str += '\t';
                break;
            case 'r':
                str += '\r';
                break;
            case 'a':
                str += '\a';
                break;
            case 'b':
                str += '\b';
                break;
            case 'f':
                str += '\f';
                break;
            case 'v':
                str += '\v';
                break;
            case 'U':
            case 'u': {
                uint32_t cp = 0;
                size_t n = 0;
                while (n < 4 && pos_ < s_.size() && text::hexDigit(s_[pos_]) >= 0)
                    cp = cp * 16 + uint32_t(text::hexDigit(s_[pos_++])), ++n;
                if (n == 0) return failBool("\\U without hexadecimal digits");
                // A surrogate pair written as two escapes becomes one character in validUtf8 below.
                text::appendUtf8(str, cp);
                continue;
            }
            default:
                if (e >= '0' && e <= '7') {
                    uint32_t cp = uint32_t(e - '0');
                    for (int n = 0; n < 2 && pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '7'; ++n)
                        cp = cp * 8 + uint32_t(s_[pos_++] - '0');
                    text::appendUtf8(str, cp);
                } else {
                    str += e;
                }
            }
        }
        if (pos_ >= s_.size()) return failBool("unterminated quoted string");
        ++pos_;
        out = Value(text::validUtf8(str));
        return true;
    }

    std::string_view s_;
    size_t pos_ = 0;
    bool failed_ = false;
    std::optional<Error> error_;
};

} // namespace

Expected<Value> readOpenStep(std::string_view text) {
    return Reader(text).document();
}

bool looksLikeOpenStep(std::string_view text) {
    return Reader(text).startsLikeValue();
}

} // namespace plist
