#include "TypeConversion.h"

#include <chrono>
#include <cmath>

#include "model/ValueText.h"
#include "platform/plist/DateTime.h"
#include "platform/plist/Text.h"

namespace editing {
namespace {

using model::Entry;
using model::EntryType;

bool isContainerType(EntryType t) {
    return t == EntryType::Array || t == EntryType::Dictionary;
}

// Bytes that are valid UTF-8 text (no lone surrogates), as that text.
std::optional<std::string> utf8Text(const model::Data& d) {
    std::string s(d.begin(), d.end());
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        int32_t c = plist::text::decodeUtf8(p, end);
        if (c < 0 || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    }
    return s;
}

model::Data bytesOf(const std::string& s) {
    return model::Data(s.begin(), s.end());
}

} // namespace

double currentDateSeconds() {
    using namespace std::chrono;
    double unix = double(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
    return unix - double(plist::datetime::kUnixSecondsAt2001);
}

std::string textForm(const Entry& e) {
    switch (e.type()) {
    case EntryType::Boolean:
        return e.boolValue() ? "1" : "0";
    case EntryType::Number:
        return model::numberText(e.numberValue());
    case EntryType::String:
    case EntryType::NotApplicable:
        return e.stringValue();
    case EntryType::Data:
        return model::descriptionOfData(e.dataValue());
    case EntryType::Date:
        return model::dateStringOfISO8601FormatWithDate(e.dateValue());
    case EntryType::Array:
    case EntryType::Dictionary:
        return std::string();
    }
    return std::string();
}

Entry::Value convertedValue(const Entry& e, EntryType t) {
    const EntryType o = e.type();
    const bool container = e.isContainer();
    switch (t) {
    case EntryType::Array:
    case EntryType::Dictionary:
        return std::string();
    case EntryType::Boolean:
        if (container || o == EntryType::Date || o == EntryType::Data) return false;
        return model::boolWithText(textForm(e));
    case EntryType::Data:
        if (o == EntryType::Date) return bytesOf(model::dateStringOfISO8601FormatWithDate(e.dateValue()));
        if (o == EntryType::String) return bytesOf(e.stringValue());
        return model::Data();
    case EntryType::Date: {
        plist::Date now{currentDateSeconds()};
        if (container) return now;
        if (o == EntryType::Data) {
            auto text = utf8Text(e.dataValue());
            if (!text) return now;
            return model::dateWithISO8601FormatString(*text).value_or(now);
        }
        if (o == EntryType::String) return model::dateWithISO8601FormatString(e.stringValue()).value_or(now);
        return now;
    }
    case EntryType::Number:
        if (o == EntryType::Boolean || o == EntryType::String) return model::numberWithText(textForm(e));
        return model::Number::fromInteger(plist::Integer::fromSigned(0));
    case EntryType::String:
    case EntryType::NotApplicable:
        if (container || isContainerType(o)) return std::string();
        if (o == EntryType::Data) return utf8Text(e.dataValue()).value_or(std::string());
        if (o == EntryType::Date) return model::dateStringOfISO8601FormatWithDate(e.dateValue());
        return textForm(e);
    }
    return std::string();
}

} // namespace editing
