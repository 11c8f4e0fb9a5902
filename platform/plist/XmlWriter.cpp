#include "XmlWriter.h"

#include <charconv>

#include "Base64.h"
#include "DateTime.h"
#include "Scalars.h"
#include "Text.h"

namespace plist {
namespace {

constexpr size_t kBase64LineLength = 68;

} // namespace

XmlTextSink::XmlTextSink(XmlWriteOptions options) : options_(options) {
    out_.reserve(std::max<size_t>(options.sizeHint, 256));
    out_ += kXmlHead;
}

bool XmlTextSink::fail(Error::Kind kind, std::string message) {
    if (!error_) error_ = makeError(kind, std::move(message));
    return false;
}

// An element starts on its own line at the depth of its container; in a dictionary the key line before it
// has already put the line feed and indent down.
void XmlTextSink::beforeValue() {
    if (open_.empty()) return;
    Open& o = open_.back();
    if (!o.written) {
        out_ += o.dictionary ? "<dict>\n" : "<array>\n";
        o.written = true;
    }
    if (!o.dictionary) indent(open_.size());
}

void XmlTextSink::afterValue() {
    if (open_.empty())
        done_ = true;
    else
        out_ += '\n';
}

bool XmlTextSink::begin(bool dictionary) {
    if (open_.size() >= size_t(kMaxNestingDepth))
        return fail(Error::Kind::TooDeep,
                    "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
    beforeValue();
    open_.push_back({dictionary, false});
    return true;
}

bool XmlTextSink::endContainer() {
    Open o = open_.back();
    open_.pop_back();
    if (!o.written) {
        out_ += o.dictionary ? "<dict/>" : "<array/>";
    } else {
        indent(open_.size());
        out_ += o.dictionary ? "</dict>" : "</array>";
    }
    afterValue();
    return true;
}

bool XmlTextSink::key(std::string_view k) {
    Open& o = open_.back();
    if (!o.written) {
        out_ += "<dict>\n";
        o.written = true;
    }
    indent(open_.size());
    out_ += "<key>";
    if (!text::appendEscaped(out_, k, options_.exact))
        return fail(Error::Kind::Unrepresentable, "a key holds a character that XML cannot store");
    out_ += "</key>\n";
    indent(open_.size());
    return true;
}

bool XmlTextSink::string(std::string_view s) {
    beforeValue();
    out_ += "<string>";
    if (!text::appendEscaped(out_, s, options_.exact))
        return fail(Error::Kind::Unrepresentable, "a string holds a character that XML cannot store");
    out_ += "</string>";
    afterValue();
    return true;
}

bool XmlTextSink::integer(Integer i) {
    beforeValue();
    char buf[24];
    auto r = i.isNegative() ? std::to_chars(buf, buf + sizeof buf, i.asSigned())
                            : std::to_chars(buf, buf + sizeof buf, i.asUnsigned());
    out_ += "<integer>";
    out_.append(buf, r.ptr);
    out_ += "</integer>";
    afterValue();
    return true;
}

bool XmlTextSink::real(double d) {
    beforeValue();
    out_ += "<real>";
    out_ += scalars::formatReal(d);
    out_ += "</real>";
    afterValue();
    return true;
}

bool XmlTextSink::boolean(bool b) {
    beforeValue();
    out_ += b ? "<true/>" : "<false/>";
    afterValue();
    return true;
}

bool XmlTextSink::date(double s) {
    beforeValue();
    out_ += "<date>";
    if (options_.exact) {
        out_ += datetime::formatExact(s);
    } else if (auto iso = datetime::formatIso8601(s)) {
        out_ += *iso; // a fraction of a second is dropped: the published form has whole seconds
    } else {
        return fail(Error::Kind::Unrepresentable, "a date lies outside the years 1 to 9999");
    }
    out_ += "</date>";
    afterValue();
    return true;
}

bool XmlTextSink::data(std::string_view bytes) {
    beforeValue();
    size_t level = open_.size();
    out_ += "<data>\n";
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    constexpr size_t kBytesPerLine = kBase64LineLength / 4 * 3;
    for (size_t i = 0; i < bytes.size(); i += kBytesPerLine) {
        indent(level);
        base64::encode(p + i, std::min(bytes.size() - i, kBytesPerLine), out_);
        out_ += '\n';
    }
    indent(level);
    out_ += "</data>";
    afterValue();
    return true;
}

bool XmlTextSink::uid(uint64_t u) {
    if (open_.size() >= size_t(kMaxNestingDepth))
        return fail(Error::Kind::TooDeep,
                    "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
    beforeValue();
    size_t level = open_.size();
    out_ += "<dict>\n";
    indent(level + 1);
    out_ += "<key>CF$UID</key>\n";
    indent(level + 1);
    out_ += "<integer>";
    out_ += std::to_string(u);
    out_ += "</integer>\n";
    indent(level);
    out_ += "</dict>";
    afterValue();
    return true;
}

Expected<std::string> XmlTextSink::finish() {
    if (error_) return *error_;
    if (!done_) return makeError(Error::Kind::Xml, "the document ended before its value was complete");
    out_ += kXmlTail;
    return std::move(out_);
}

Expected<std::string> writeXml(const Value& value, XmlWriteOptions options) {
    XmlTextSink sink(options);
    emitValue(value, sink);
    return sink.finish();
}

} // namespace plist
