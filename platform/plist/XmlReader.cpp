#include "XmlReader.h"

#include <expat.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Base64.h"
#include "DateTime.h"
#include "Scalars.h"

namespace plist {
namespace {

enum class Element { Unknown, Plist, Dict, Array, Key, String, Integer, Real, True, False, Date, Data };

Element elementNamed(const char* n) {
    switch (n[0]) {
    case 'a': return std::strcmp(n, "array") == 0 ? Element::Array : Element::Unknown;
    case 'd':
        if (std::strcmp(n, "dict") == 0) return Element::Dict;
        if (std::strcmp(n, "data") == 0) return Element::Data;
        if (std::strcmp(n, "date") == 0) return Element::Date;
        return Element::Unknown;
    case 'f': return std::strcmp(n, "false") == 0 ? Element::False : Element::Unknown;
    case 'i': return std::strcmp(n, "integer") == 0 ? Element::Integer : Element::Unknown;
    case 'k': return std::strcmp(n, "key") == 0 ? Element::Key : Element::Unknown;
    case 'p': return std::strcmp(n, "plist") == 0 ? Element::Plist : Element::Unknown;
    case 'r': return std::strcmp(n, "real") == 0 ? Element::Real : Element::Unknown;
    case 's': return std::strcmp(n, "string") == 0 ? Element::String : Element::Unknown;
    case 't': return std::strcmp(n, "true") == 0 ? Element::True : Element::Unknown;
    default: return Element::Unknown;
    }
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

class Reader {
public:
    Reader() : parser_(XML_ParserCreate(nullptr)) {
        XML_Parser p = parser_.get();
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, &Reader::onStart, &Reader::onEnd);
        XML_SetCharacterDataHandler(p, &Reader::onText);
        XML_SetEntityDeclHandler(p, &Reader::onEntityDecl);
        XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    }

    Expected<XmlParsed> run(std::string_view bytes) {
        if (!parser_) return makeError(Error::Kind::Xml, "out of memory for the XML parser");
        XML_Parser p = parser_.get();
        constexpr size_t kChunk = size_t(1) << 28;
        size_t pos = 0;
        do {
            size_t n = std::min(kChunk, bytes.size() - pos);
            bool last = pos + n == bytes.size();
            if (XML_Parse(p, bytes.data() + pos, int(n), last) != XML_STATUS_OK) {
                if (error_) return std::move(*error_);
                return makeError(Error::Kind::Xml,
                                 "XML error at line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                                     ", column " + std::to_string(XML_GetCurrentColumnNumber(p) + 1) + ": " +
                                     XML_ErrorString(XML_GetErrorCode(p)),
                                 XML_GetCurrentByteIndex(p));
            }
            pos += n;
        } while (pos < bytes.size());
        if (error_) return std::move(*error_);
        if (!haveRoot_) return makeError(Error::Kind::Xml, "the XML document holds no property-list value", 0);
        return XmlParsed{std::move(root_), hasPlist_};
    }

private:
    struct Frame {
        Value container;
        std::string key;
        bool hasKey = false;
    };

    void fail(std::string what, Error::Kind kind = Error::Kind::Xml) {
        if (error_) return;
        XML_Parser p = parser_.get();
        error_ = makeError(kind,
                           std::move(what) + " (line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                               ", column " + std::to_string(XML_GetCurrentColumnNumber(p) + 1) + ")",
                           XML_GetCurrentByteIndex(p));
        XML_StopParser(p, XML_FALSE);
    }

    void add(Value v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            haveRoot_ = true;
            return;
        }
        Frame& f = stack_.back();
        if (f.container.type() == Value::Type::Array) {
            f.container.array().push_back(std::move(v));
        } else {
            f.container.dictionary().emplace_back(std::move(f.key), std::move(v));
            f.key = std::string();
            f.hasKey = false;
        }
    }

    void start(const char* name) {
        if (scalar_ != Element::Unknown) return fail(std::string("element <") + name + "> inside a scalar element");
        Element e = elementNamed(name);
        if (e == Element::Unknown) return fail(std::string("unknown element <") + name + ">");
        if (e == Element::Plist) {
            if (depth_ != 0 || hasPlist_) return fail("<plist> is allowed only as the document element");
            hasPlist_ = true;
            return;
        }
        if (haveRoot_) return fail("more than one top-level value");
        bool inDict = !stack_.empty() && stack_.back().container.type() == Value::Type::Dictionary;
        if (e == Element::Key) {
            if (!inDict) return fail("<key> outside a dictionary");
            if (stack_.back().hasKey) return fail("two keys in a row in a dictionary");
        } else if (inDict && !stack_.back().hasKey) {
            return fail(std::string("<") + name + "> in a dictionary without a key before it");
        }
        ++depth_;
        if (e == Element::Dict || e == Element::Array) {
            if (int(stack_.size()) >= kMaxNestingDepth)
                return fail("nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels",
                            Error::Kind::TooDeep);
            Frame f;
            f.container = e == Element::Dict ? Value(Value::Dictionary()) : Value(Value::Array());
            stack_.push_back(std::move(f));
            return;
        }
        scalar_ = e;
        text_.clear();
    }

    void end(const char* name) {
        Element e = elementNamed(name);
        if (e == Element::Plist) {
            if (!haveRoot_) fail("the plist element holds no value");
            return;
        }
        --depth_;
        if (e == Element::Dict || e == Element::Array) {
            Frame f = std::move(stack_.back());
            stack_.pop_back();
            if (f.hasKey) return fail("a dictionary key without a value");
            return add(std::move(f.container));
        }
        scalar_ = Element::Unknown;
        switch (e) {
        case Element::Key:
            stack_.back().key = std::move(text_);
            stack_.back().hasKey = true;
            text_ = std::string();
            return;
        case Element::String: add(Value(std::move(text_))); text_ = std::string(); return;
        case Element::Integer:
            if (auto v = scalars::parseInteger(text_)) return add(Value(*v));
            return fail("integer \"" + shortText() + "\" is not a number in the range -2^63 to 2^64-1");
        case Element::Real:
            if (auto v = scalars::parseReal(text_)) return add(Value(*v));
            return fail("real \"" + shortText() + "\" is not a number");
        case Element::True:
        case Element::False:
            if (!allSpace()) return fail(std::string("<") + name + "> holds text");
            return add(Value(e == Element::True));
        case Element::Date:
            if (auto v = datetime::parseIso8601(text_)) return add(Value(Date{*v}));
            return fail("date \"" + shortText() + "\" is not of the form YYYY-MM-DDTHH:MM:SSZ");
        case Element::Data:
            if (auto v = base64::decode(text_)) return add(Value(std::move(*v)));
            return fail("<data> holds text that is not Base64");
        default: return;
        }
    }

    void characters(const char* s, int len) {
        if (scalar_ != Element::Unknown) {
            text_.append(s, size_t(len));
            return;
        }
        for (int i = 0; i < len; ++i)
            if (!isXmlSpace(s[i])) return fail("text outside a value element");
    }

    bool allSpace() const {
        for (char c : text_)
            if (!isXmlSpace(c)) return false;
        return true;
    }
    std::string shortText() const { return text_.size() > 40 ? text_.substr(0, 40) + "..." : text_; }

    // expat may deliver a call-back or two after a stop; once failed, nothing more is looked at.
    static void onStart(void* self, const XML_Char* name, const XML_Char**) {
        auto* r = static_cast<Reader*>(self);
        if (!r->error_) r->start(name);
    }
    static void onEnd(void* self, const XML_Char* name) {
        auto* r = static_cast<Reader*>(self);
        if (!r->error_) r->end(name);
    }
    static void onText(void* self, const XML_Char* s, int len) {
        auto* r = static_cast<Reader*>(self);
        if (!r->error_) r->characters(s, len);
    }
    static void onEntityDecl(void* self, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        static_cast<Reader*>(self)->fail(std::string("entity declaration \"") + name + "\" is not allowed");
    }

    ParserPtr parser_;
    std::vector<Frame> stack_;
    Element scalar_ = Element::Unknown;
    std::string text_;
    Value root_;
    bool haveRoot_ = false;
    bool hasPlist_ = false;
    int depth_ = 0;
    std::optional<Error> error_;
};

} // namespace

Expected<XmlParsed> readXml(std::string_view bytes) {
    Reader r;
    return r.run(bytes);
}

} // namespace plist
