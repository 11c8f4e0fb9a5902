#include "XmlReader.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Base64.h"
#include "DateTime.h"
#include "Scalars.h"
#include "Text.h"
#include "Transcoding.h"

namespace plist {
namespace {

enum class Element { Unknown, Plist, Dict, Array, Key, String, Integer, Real, True, False, Date, Data };

// Whether the name n is exactly the word, looking no further into n than the first difference.
template <size_t N> bool named(const char* n, const char (&word)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (n[i] != word[i]) return false;
    return true;
}

Element elementNamed(const char* n) {
    switch (n[0]) {
    case 'a':
        return named(n, "array") ? Element::Array : Element::Unknown;
    case 'd':
        if (named(n, "dict")) return Element::Dict;
        if (named(n, "data")) return Element::Data;
        if (named(n, "date")) return Element::Date;
        return Element::Unknown;
    case 'f':
        return named(n, "false") ? Element::False : Element::Unknown;
    case 'i':
        return named(n, "integer") ? Element::Integer : Element::Unknown;
    case 'k':
        return named(n, "key") ? Element::Key : Element::Unknown;
    case 'p':
        return named(n, "plist") ? Element::Plist : Element::Unknown;
    case 'r':
        return named(n, "real") ? Element::Real : Element::Unknown;
    case 's':
        return named(n, "string") ? Element::String : Element::Unknown;
    case 't':
        return named(n, "true") ? Element::True : Element::Unknown;
    default:
        return Element::Unknown;
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// XML's EncName: [A-Za-z] ([A-Za-z0-9._] | '-')*.
bool isEncodingName(std::string_view name) {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.empty() || !letter(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    });
}

struct Declared {
    std::string_view name;
    size_t at = 0; // the name's offset in the document
};

// The encoding named in an XML declaration written in ASCII at the very start of the document, as in
// <?xml version="1.0" encoding="windows-1252"?>. None when there is no such declaration or it is malformed,
// which expat then reports.
std::optional<Declared> declaredEncoding(std::string_view b) {
    if (b.substr(0, 5) != "<?xml" || b.size() < 6 || !text::isXmlSpace(b[5])) return std::nullopt;
    size_t end = b.substr(0, 1024).find("?>");
    if (end == std::string_view::npos) return std::nullopt;
    size_t i = 5;
    auto skipSpace = [&] {
        while (i < end && text::isXmlSpace(b[i]))
            ++i;
    };
    for (;;) {
        skipSpace();
        size_t nameStart = i;
        while (i < end && b[i] >= 'a' && b[i] <= 'z')
            ++i;
        std::string_view attribute = b.substr(nameStart, i - nameStart);
        skipSpace();
        if (attribute.empty() || i >= end || b[i] != '=') return std::nullopt;
        ++i;
        skipSpace();
        if (i >= end || (b[i] != '"' && b[i] != '\'')) return std::nullopt;
        size_t close = b.find(b[i], i + 1);
        if (close == std::string_view::npos || close > end) return std::nullopt;
        if (attribute == "encoding") return Declared{b.substr(i + 1, close - i - 1), i + 1};
        i = close + 1;
    }
}

// The encodings expat reads itself.
bool expatReads(std::string_view name) {
    for (std::string_view known : {"UTF-8", "UTF-16", "UTF-16BE", "UTF-16LE", "ISO-8859-1", "US-ASCII"})
        if (equalsIgnoringCase(name, known)) return true;
    return false;
}

// Line and column of the end of UTF-8 text, counted as expat counts them: lines end at a line feed, a
// carriage return, or both together; columns are characters.
std::pair<size_t, size_t> endPosition(std::string_view utf8) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\n' || (c == '\r' && (i + 1 == utf8.size() || utf8[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if ((static_cast<uint8_t>(c) & 0xC0) != 0x80 && c != '\r') {
            ++column;
        }
    }
    return {line, column};
}

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

class Reader {
public:
    Reader(EventSink& sink, const ParseWatcher& watcher)
        : parser_(XML_ParserCreate(nullptr)), sink_(sink), watcher_(watcher) {
        XML_Parser p = parser_.get();
        if (!p) return; // run() reports it
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, &Reader::onStart, &Reader::onEnd);
        XML_SetCharacterDataHandler(p, &Reader::onText);
        XML_SetEntityDeclHandler(p, &Reader::onEntityDecl);
        XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    }

    // Allocation failures, expat's own and those in our call-backs, come out as std::bad_alloc once the
    // parse has stopped, never as a syntax error.
    Expected<bool> run(std::string_view bytes) {
        if (!parser_) throw std::bad_alloc();
        XML_Parser p = parser_.get();
        // A byte-order mark says more than a declaration naming another encoding.
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            XML_SetEncoding(p, "UTF-8");
        } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
            XML_SetEncoding(p, "UTF-16");
        } else if (auto declared = declaredEncoding(bytes); declared && !expatReads(declared->name)) {
            if (!isEncodingName(declared->name))
                return makeError(Error::Kind::Xml,
                                 "\"" + std::string(declared->name) +
                                     "\" in the XML declaration is not an encoding name",
                                 int64_t(declared->at));
            transcoding_.emplace(bytes, std::string(declared->name));
            if (auto e = transcodingFault(bytes, *declared)) return std::move(*e);
            bytes = transcoding_->utf8();
            XML_SetEncoding(p, "UTF-8");
        }
        total_ = bytes.size();
        constexpr size_t kChunk = size_t(1) << 28;
        size_t pos = 0;
        do {
            size_t n = std::min(kChunk, bytes.size() - pos);
            bool last = pos + n == bytes.size();
            if (XML_Parse(p, bytes.data() + pos, int(n), last) != XML_STATUS_OK) {
                if (noMemory_ || XML_GetErrorCode(p) == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
                if (error_) return std::move(*error_);
                return parseError();
            }
            pos += n;
        } while (pos < bytes.size());
        if (error_) return std::move(*error_);
        if (!haveRoot_)
            return makeError(Error::Kind::Xml, "the XML document holds no property-list value", 0);
        return hasPlist_;
    }

private:
    struct Frame {
        bool dictionary = false;
        bool hasKey = false;
    };

    // Where expat is, as an offset in the document's own bytes.
    int64_t sourceOffset() const {
        int64_t at = XML_GetCurrentByteIndex(parser_.get());
        if (!transcoding_ || at < 0) return at;
        return int64_t(transcoding_->sourceOffset(size_t(at)));
    }

    Error parseError() const {
        XML_Parser p = parser_.get();
        return makeError(Error::Kind::Xml,
                         "XML error at line " + std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
                             std::to_string(XML_GetCurrentColumnNumber(p) + 1) + ": " +
                             XML_ErrorString(XML_GetErrorCode(p)),
                         sourceOffset());
    }

    std::optional<Error> transcodingFault(std::string_view bytes, const Declared& declared) {
        const std::string name(declared.name);
        switch (transcoding_->fault()) {
        case Transcoding::Fault::None:
            return std::nullopt;
        case Transcoding::Fault::UnknownEncoding:
            return makeError(Error::Kind::Xml, "unknown encoding \"" + name + "\" in the XML declaration",
                             int64_t(declared.at));
        case Transcoding::Fault::BadSequence:
        case Transcoding::Fault::Truncated:
            break;
        }
        size_t at = transcoding_->faultOffset();
        auto [line, column] = endPosition(transcoding_->utf8());
        std::string what = transcoding_->fault() == Transcoding::Fault::Truncated
                               ? "the document ends inside a character of the encoding \"" + name + "\""
                               : "byte 0x" + hex(static_cast<uint8_t>(bytes[at])) +
                                     " is not a character of the encoding \"" + name + "\"";
        return makeError(Error::Kind::Xml,
                         "XML error at line " + std::to_string(line) + ", column " + std::to_string(column) +
                             ": " + what + " (byte " + std::to_string(at) + ")",
                         int64_t(at));
    }

    static std::string hex(uint8_t b) {
        const char* digits = "0123456789ABCDEF";
        return {digits[b >> 4], digits[b & 15]};
    }

    void fail(std::string what, Error::Kind kind = Error::Kind::Xml) {
        if (error_) return;
        XML_Parser p = parser_.get();
        error_ = makeError(kind,
                           std::move(what) + " (line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                               ", column " + std::to_string(XML_GetCurrentColumnNumber(p) + 1) + ")",
                           sourceOffset());
        XML_StopParser(p, XML_FALSE);
    }

    // Notes that a value is complete; ok is the sink's answer.
    void added(bool ok) {
        if (!ok) return fail("the value could not be written");
        if (stack_.empty())
            haveRoot_ = true;
        else
            stack_.back().hasKey = false;
    }

    void start(const char* name) {
        if (watcher_ && ++started_ % kWatchStride == 0 &&
            !watcher_(uint64_t(std::max<XML_Index>(XML_GetCurrentByteIndex(parser_.get()), 0)), total_))
            return fail("the parse was cancelled", Error::Kind::Cancelled);
        if (scalar_ != Element::Unknown)
            return fail(std::string("element <") + name + "> inside a scalar element");
        Element e = elementNamed(name);
        if (e == Element::Unknown) return fail(std::string("unknown element <") + name + ">");
        if (e == Element::Plist) {
            if (depth_ != 0 || hasPlist_) return fail("<plist> is allowed only as the document element");
            hasPlist_ = true;
            return;
        }
        if (haveRoot_) return fail("more than one top-level value");
        bool inDict = !stack_.empty() && stack_.back().dictionary;
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
            stack_.push_back(Frame{e == Element::Dict, false});
            if (!(e == Element::Dict ? sink_.beginDictionary(0) : sink_.beginArray(0)))
                return fail("the value could not be written");
            return;
        }
        scalar_ = e;
        text_.clear();
    }

    void end(const char* name) {
        // The parser has matched the closing tag to the one opened last: the scalar, else the innermost
        // container, else the plist element.
        const Element e = scalar_ != Element::Unknown ? scalar_
                          : stack_.empty()            ? Element::Plist
                          : stack_.back().dictionary  ? Element::Dict
                                                      : Element::Array;
        if (e == Element::Plist) {
            if (!haveRoot_) fail("the plist element holds no value");
            return;
        }
        --depth_;
        if (e == Element::Dict || e == Element::Array) {
            Frame f = stack_.back();
            if (f.hasKey) return fail("a dictionary key without a value");
            stack_.pop_back();
            return added(sink_.endContainer());
        }
        scalar_ = Element::Unknown;
        switch (e) {
        case Element::Key: {
            // A sink that only looks at the text leaves it here, its room kept for the next one.
            bool ok = sink_.key(std::move(text_));
            text_.clear();
            if (!ok) return fail("the value could not be written");
            stack_.back().hasKey = true;
            return;
        }
        case Element::String: {
            bool ok = sink_.string(std::move(text_));
            text_.clear();
            return added(ok);
        }
        case Element::Integer:
            if (auto v = scalars::parseInteger(text_)) return added(sink_.integer(*v));
            return fail("integer \"" + shortText() + "\" is not a number in the range -2^63 to 2^64-1");
        case Element::Real:
            if (auto v = scalars::parseReal(text_)) return added(sink_.real(*v));
            return fail("real \"" + shortText() + "\" is not a number");
        case Element::True:
        case Element::False:
            if (!allSpace()) return fail(std::string("<") + name + "> holds text");
            return added(sink_.boolean(e == Element::True));
        case Element::Date:
            if (auto v = datetime::parseIso8601(text_)) return added(sink_.date(*v));
            return fail("date \"" + shortText() + "\" is not of the form YYYY-MM-DDTHH:MM:SSZ");
        case Element::Data:
            if (auto v = base64::decode(text_))
                return added(sink_.data({reinterpret_cast<const char*>(v->data()), v->size()}));
            return fail("<data> holds text that is not Base64");
        default:
            return;
        }
    }

    void characters(const char* s, int len) {
        if (scalar_ != Element::Unknown) {
            text_.append(s, size_t(len));
            return;
        }
        for (int i = 0; i < len; ++i)
            if (!text::isXmlSpace(s[i])) return fail("text outside a value element");
    }

    bool allSpace() const {
        for (char c : text_)
            if (!text::isXmlSpace(c)) return false;
        return true;
    }
    std::string shortText() const { return text_.size() > 40 ? text_.substr(0, 40) + "..." : text_; }

    // expat may deliver a call-back or two after a stop; once failed, nothing more is looked at. No exception
    // may unwind through expat's C frames: an allocation failure stops the parse and is raised after it.
    template <typename F> static void handle(void* self, F&& f) {
        auto* r = static_cast<Reader*>(self);
        if (r->error_ || r->noMemory_) return;
        try {
            f(*r);
        } catch (const std::bad_alloc&) {
            r->noMemory_ = true;
            XML_StopParser(r->parser_.get(), XML_FALSE);
        }
    }
    static void onStart(void* self, const XML_Char* name, const XML_Char**) {
        handle(self, [&](Reader& r) { r.start(name); });
    }
    static void onEnd(void* self, const XML_Char* name) {
        handle(self, [&](Reader& r) { r.end(name); });
    }
    static void onText(void* self, const XML_Char* s, int len) {
        handle(self, [&](Reader& r) { r.characters(s, len); });
    }
    static void onEntityDecl(void* self, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        handle(self,
               [&](Reader& r) { r.fail(std::string("entity declaration \"") + name + "\" is not allowed"); });
    }

    static constexpr uint64_t kWatchStride = 4096;

    ParserPtr parser_;
    EventSink& sink_;
    const ParseWatcher& watcher_;
    uint64_t started_ = 0;
    uint64_t total_ = 0;
    std::vector<Frame> stack_;
    Element scalar_ = Element::Unknown;
    std::string text_;
    bool haveRoot_ = false;
    bool hasPlist_ = false;
    int depth_ = 0;
    std::optional<Error> error_;
    std::optional<Transcoding> transcoding_; // the document in UTF-8, when it came in another encoding
    bool noMemory_ = false;
};

} // namespace

Expected<bool> readXml(std::string_view bytes, EventSink& sink, const ParseWatcher& watcher) {
    return Reader(sink, watcher).run(bytes);
}

Expected<XmlParsed> readXml(std::string_view bytes) {
    ValueBuilder builder;
    auto r = readXml(bytes, builder);
    if (!r) return r.error();
    return XmlParsed{builder.take(), *r};
}

} // namespace plist
