#include "EntryBuilder.h"

#include <algorithm>
#include <cmath>

#include "platform/plist/Text.h"

namespace model {
namespace {

// The text as the exact XML text carries it: a byte that is not UTF-8 comes back as U+FFFD, and lone
// surrogates that stand next to each other as a pair come back joined. Other text is unchanged, so only
// text that holds such bytes takes the way through character references.
bool textChanges(std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        if (static_cast<uint8_t>(*p) < 0x80) {
            ++p;
            continue;
        }
        int32_t cp = plist::text::decodeUtf8(p, end);
        if (cp < 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return true;
    }
    return false;
}

std::string asTextCarriesIt(std::string_view s) {
    if (!textChanges(s)) return std::string(s);
    std::string escaped, out;
    plist::text::appendEscaped(escaped, s, true);
    plist::text::decodeCharacterData(escaped, true, out);
    return out;
}

// The text form keeps no NaN payload or sign: every NaN reads back as the one quiet NaN.
double asTextCarriesIt(double d) {
    return std::isnan(d) ? std::nan("") : d;
}

} // namespace

bool EntryBuilder::begin(bool dictionary, size_t count) {
    if (stack_.size() >= size_t(plist::kMaxNestingDepth)) {
        error_ =
            plist::makeError(plist::Error::Kind::TooDeep,
                             "nesting deeper than " + std::to_string(plist::kMaxNestingDepth) + " levels");
        return false;
    }
    std::string key = nextKey();
    stack_.push_back({dictionary, std::move(key), {}, {}});
    // The count comes from the file; the reader has checked it against the file's size.
    stack_.back().children.reserve(count);
    return true;
}

bool EntryBuilder::endContainer() {
    Frame f = std::move(stack_.back());
    stack_.pop_back();
    return place(Entry::makeContainer(f.key, f.dictionary ? EntryType::Dictionary : EntryType::Array,
                                      std::move(f.children)));
}

bool EntryBuilder::key(std::string_view key) {
    stack_.back().pendingKey = asTextCarriesIt(key);
    return true;
}

std::string EntryBuilder::nextKey() {
    if (stack_.empty() || !stack_.back().dictionary) return {};
    return std::move(stack_.back().pendingKey);
}

bool EntryBuilder::place(EntryRef e) {
    e->setIdNumber(idNumber_++);
    if (stack_.empty())
        root_ = std::move(e);
    else
        stack_.back().children.push_back(std::move(e));
    if (progress_ && ++built_ % kProgressStride == 0) {
        progress_->report(LoadProgress::Building, built_, std::max(expected_, built_));
        if (progress_->isCancelled()) {
            error_ = plist::makeError(plist::Error::Kind::Io, kLoadCancelled);
            return false;
        }
    }
    return true;
}

bool EntryBuilder::add(EntryType type, Entry::Value value) {
    return place(Entry::make(nextKey(), type, std::move(value)));
}

bool EntryBuilder::string(std::string_view s) {
    if (!textChanges(s)) return place(Entry::makeString(nextKey(), s));
    return add(EntryType::String, asTextCarriesIt(s));
}

bool EntryBuilder::real(double d) {
    return add(EntryType::Number, Number::fromReal(asTextCarriesIt(d)));
}

bool EntryBuilder::date(double s) {
    return add(EntryType::Date, plist::Date{asTextCarriesIt(s)});
}

bool EntryBuilder::data(std::string_view bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    return add(EntryType::Data, Data(p, p + bytes.size()));
}

bool EntryBuilder::uid(uint64_t u) {
    if (!begin(true, 1)) return false;
    stack_.back().pendingKey = "CF$UID";
    return integer(plist::Integer::fromUnsigned(u)) && endContainer();
}

plist::Expected<EntryRef> EntryBuilder::finish(std::optional<plist::Error> readerError) {
    if (!error_ && readerError) error_ = std::move(readerError);
    if (!error_ && !root_)
        error_ =
            plist::makeError(plist::Error::Kind::Binary, "the document ended before its value was complete");
    if (error_) {
        idNumber_ = saved_;
        stack_.clear();
        root_ = {};
        return *error_;
    }
    return std::move(root_);
}

} // namespace model
