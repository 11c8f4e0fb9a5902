#include "PlistWriter.h"

#include <cmath>

#include "ValueText.h"
#include "platform/plist/Base64.h"
#include "platform/plist/DateTime.h"
#include "platform/plist/Scalars.h"
#include "platform/plist/Text.h"
#include "platform/plist/Value.h"

namespace model {

bool PlistWriter::scalar(const Entry& e, std::string& out) {
    switch (e.type()) {
    case EntryType::Boolean:
        out += e.boolValue() ? "<true/>" : "<false/>";
        return true;
    case EntryType::Number: {
        const Number& n = e.numberValue();
        if (!n.isReal) {
            out += "<integer>";
            out += n.integer.toString();
            out += "</integer>";
        } else {
            out += "<real>";
            out += std::isfinite(n.real) ? numberText(n) : plist::scalars::formatReal(n.real);
            out += "</real>";
        }
        return true;
    }
    case EntryType::Data:
        out += "<data>";
        plist::base64::encode(e.dataValue().data(), e.dataValue().size(), out);
        out += "</data>";
        return true;
    case EntryType::Date:
        return date(e, out);
    case EntryType::String:
    case EntryType::NotApplicable: // written as the text it shows, so no key loses its value
        out += "<string>";
        if (!text(e, e.stringValue(), out)) return false;
        out += "</string>";
        return true;
    case EntryType::Array:
    case EntryType::Dictionary:
        break;
    }
    return false;
}

bool PlistWriter::container(const Children& child, unsigned level, bool dictionary, std::string& out) {
    if (level + 1 > unsigned(plist::kMaxNestingDepth))
        return tooDeep(child.empty() ? nullptr : child.front().get());
    out += dictionary ? "<dict>" : "<array>";
    for (const EntryRef& c : child) {
        if (dictionary) {
            out += '\n';
            out.append(level + 1, '\t');
            out += "<key>";
            if (!text(*c, c->key, out)) return false;
            out += "</key>";
        }
        out += '\n';
        out.append(level + 1, '\t');
        if (c->isContainer()) {
            const bool isDictionary = c->type() == EntryType::Dictionary;
            // This child container stands at depth level + 2 (the top element is at depth 1).
            if (level + 2 > unsigned(plist::kMaxNestingDepth)) return tooDeep(c.get());
            if (c->child().empty()) {
                out += isDictionary ? "<dict/>" : "<array/>";
            } else if (!container(c->child(), level + 1, isDictionary, out)) {
                return false;
            }
        } else if (!scalar(*c, out)) {
            return false;
        }
        if (sink_ && out.size() >= kFlushBytes && !flushIfFull(out)) return false;
    }
    out += '\n';
    out.append(level, '\t');
    out += dictionary ? "</dict>" : "</array>";
    return true;
}

bool PlistWriter::topElement(const Entry& e, std::string& out) {
    if (!e.isContainer()) return scalar(e, out);
    const bool isDictionary = e.type() == EntryType::Dictionary;
    if (e.child().empty()) {
        out += isDictionary ? "<dict/>" : "<array/>";
        return true;
    }
    return container(e.child(), 0, isDictionary, out);
}

bool PlistWriter::flushIfFull(std::string& out) {
    if (!(*sink_)(out)) {
        refused_ = true;
        return false;
    }
    out.clear();
    return true;
}

plist::Error PlistWriter::error() const {
    if (refused_) return plist::makeError(plist::Error::Kind::Io, "the text could not be written");
    if (tooDeep_)
        return plist::makeError(plist::Error::Kind::TooDeep, "The document is nested more than " +
                                                                 std::to_string(plist::kMaxNestingDepth) +
                                                                 " levels deep (at \u201c" + failedPath_ +
                                                                 "\u201d).");
    std::string_view m = kUnrepresentableMessage;
    size_t at = m.find("%@");
    std::string message(m.substr(0, at));
    message += failedPath_;
    message += m.substr(at + 2);
    return plist::makeError(plist::Error::Kind::Unrepresentable, message);
}

bool PlistWriter::tooDeep(const Entry* e) {
    tooDeep_ = true;
    return fail(e);
}

bool PlistWriter::fail(const Entry* e) {
    if (failedPath_.empty()) failedPath_ = e ? keyPath(*e) : std::string(kRootLabel);
    return false;
}

bool PlistWriter::text(const Entry& e, std::string_view s, std::string& out) {
    if (mode_ == WriteMode::Sanitized) {
        plist::text::appendEscaped(out, plist::text::xmlSafe(s), false);
        return true;
    }
    if (plist::text::appendEscaped(out, s, mode_ == WriteMode::Exact)) return true;
    return fail(&e);
}

bool PlistWriter::date(const Entry& e, std::string& out) {
    double s = e.dateValue().seconds;
    out += "<date>";
    if (mode_ == WriteMode::Exact) {
        out += plist::datetime::formatExact(s);
    } else if (auto iso = plist::datetime::formatIso8601(s)) {
        out += *iso; // fractions of a second are dropped: the format has whole seconds
    } else if (mode_ == WriteMode::Sanitized) {
        out += dateStringOfISO8601FormatWithDate(e.dateValue());
    } else {
        return fail(&e);
    }
    out += "</date>";
    return true;
}

} // namespace model
