#include "XmlWriter.h"

#include <charconv>
#include <cmath>

#include "Base64.h"
#include "DateTime.h"
#include "Scalars.h"
#include "Text.h"

namespace plist {
namespace {

constexpr size_t kBase64LineLength = 68;

class Writer {
public:
    explicit Writer(XmlWriteOptions o) : options_(o) {}

    Expected<std::string> run(const Value& v) {
        out_.reserve(4096);
        out_ += kXmlHead;
        if (!element(v, 0)) return std::move(*error_);
        out_ += kXmlTail;
        return std::move(out_);
    }

private:
    void indent(int level) { out_.append(size_t(level), '\t'); }

    bool unrepresentable(const std::string& what) {
        error_ = makeError(Error::Kind::Unrepresentable, what);
        return false;
    }

    bool escaped(std::string_view s) {
        if (text::appendEscaped(out_, s, options_.exact)) return true;
        return unrepresentable("a string holds a character that XML cannot store");
    }

    // Writes the element of v starting at the current position; its inner lines are indented at level+1.
    bool element(const Value& v, int level) {
        switch (v.type()) {
        case Value::Type::String:
            out_ += "<string>";
            if (!escaped(v.string())) return false;
            out_ += "</string>";
            return true;
        case Value::Type::Integer: {
            char buf[24];
            Integer i = v.integer();
            auto r = i.isNegative() ? std::to_chars(buf, buf + sizeof buf, i.asSigned())
                                    : std::to_chars(buf, buf + sizeof buf, i.asUnsigned());
            out_ += "<integer>";
            out_.append(buf, r.ptr);
            out_ += "</integer>";
            return true;
        }
        case Value::Type::Real:
            out_ += "<real>";
            out_ += scalars::formatReal(v.real());
            out_ += "</real>";
            return true;
        case Value::Type::Boolean: out_ += v.boolean() ? "<true/>" : "<false/>"; return true;
        case Value::Type::Date: {
            double s = v.date().seconds;
            out_ += "<date>";
            if (options_.exact) {
                out_ += datetime::formatExact(s);
            } else if (auto iso = datetime::formatIso8601(s)) {
                out_ += *iso; // a fraction of a second is dropped: the published form has whole seconds
            } else {
                return unrepresentable("a date lies outside the years 1 to 9999");
            }
            out_ += "</date>";
            return true;
        }
        case Value::Type::Data: {
            const Data& d = v.data();
            out_ += "<data>\n";
            for (size_t i = 0; i < d.size(); i += kBase64LineLength / 4 * 3) {
                indent(level);
                base64::encode(d.data() + i, std::min(d.size() - i, kBase64LineLength / 4 * 3), out_);
                out_ += '\n';
            }
            indent(level);
            out_ += "</data>";
            return true;
        }
        case Value::Type::Uid: {
            if (!checkDepth(level)) return false;
            out_ += "<dict>\n";
            indent(level + 1);
            out_ += "<key>CF$UID</key>\n";
            indent(level + 1);
            out_ += "<integer>";
            out_ += std::to_string(v.uid().value);
            out_ += "</integer>\n";
            indent(level);
            out_ += "</dict>";
            return true;
        }
        case Value::Type::Array:
        case Value::Type::Dictionary: return container(v, level);
        }
        return true;
    }

    // A container written at level L stands at depth L+1.
    bool checkDepth(int level) {
        if (level + 1 <= kMaxNestingDepth) return true;
        error_ = makeError(Error::Kind::TooDeep, "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
        return false;
    }

    bool container(const Value& v, int level) {
        if (!checkDepth(level)) return false;
        bool dict = v.type() == Value::Type::Dictionary;
        size_t n = dict ? v.dictionary().size() : v.array().size();
        if (n == 0) {
            out_ += dict ? "<dict/>" : "<array/>";
            return true;
        }
        out_ += dict ? "<dict>\n" : "<array>\n";
        if (dict) {
            for (const auto& [key, child] : v.dictionary()) {
                indent(level + 1);
                out_ += "<key>";
                if (!escaped(key)) return false;
                out_ += "</key>\n";
                indent(level + 1);
                if (!element(child, level + 1)) return false;
                out_ += '\n';
            }
        } else {
            for (const Value& child : v.array()) {
                indent(level + 1);
                if (!element(child, level + 1)) return false;
                out_ += '\n';
            }
        }
        indent(level);
        out_ += dict ? "</dict>" : "</array>";
        return true;
    }

    XmlWriteOptions options_;
    std::string out_;
    std::optional<Error> error_;
};

} // namespace

Expected<std::string> writeXml(const Value& value, XmlWriteOptions options) {
    return Writer(options).run(value);
}

} // namespace plist
