#include "PlistReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/plist/PropertyList.h"
#include "platform/plist/Text.h"

namespace model {
namespace {

constexpr std::string_view kPlistLine = "<plist version=\"1.0\">";

// A line that opens or closes a container in the layout the counts go by.
bool isClosing(std::string_view l) {
    return l == "</array>" || l == "</dict>";
}
bool isOpening(std::string_view l) {
    return l == "<array>" || l == "<dict>";
}

// Length of a line end at p (LF, CR, CR LF, U+0085, U+2028, U+2029), or 0.
size_t lineEndAt(const char* p, const char* end) {
    switch (static_cast<uint8_t>(*p)) {
    case '\n':
        return 1;
    case '\r':
        return (p + 1 < end && p[1] == '\n') ? 2 : 1;
    case 0xC2:
        return (p + 1 < end && static_cast<uint8_t>(p[1]) == 0x85) ? 2 : 0;
    case 0xE2:
        return (p + 2 < end && static_cast<uint8_t>(p[1]) == 0x80 &&
                (static_cast<uint8_t>(p[2]) == 0xA8 || static_cast<uint8_t>(p[2]) == 0xA9))
                   ? 3
                   : 0;
    default:
        return 0;
    }
}

// The line feeds of a text, and whether it holds a byte that may begin another line end (CR, U+0085,
// U+2028, U+2029), eight bytes at a time.
std::pair<size_t, bool> countLineFeeds(std::string_view text) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kLow7 = 0x7F7F7F7F7F7F7F7Full;
    // 0x80 in every byte of w that equals b, and nothing elsewhere.
    auto bytesEqual = [](uint64_t w, uint8_t b) {
        const uint64_t v = w ^ (kOnes * b);
        return ~(((v & kLow7) + kLow7) | v | kLow7);
    };
    size_t lineFeeds = 0, i = 0;
    uint64_t others = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        lineFeeds += size_t((bytesEqual(w, '\n') >> 7) * kOnes >> 56); // adds up the bytes' 1s
        others |= bytesEqual(w, '\r') | bytesEqual(w, 0xC2) | bytesEqual(w, 0xE2);
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        lineFeeds += c == '\n';
        others |= c == '\r' || c == 0xC2 || c == 0xE2;
    }
    return {lineFeeds, others != 0};
}

// Length of a white-space character (tab, or a space separator of Unicode category Zs) at p, or 0.
size_t spaceAt(const char* p, const char* end) {
    auto b = [&](int i) { return p + i < end ? static_cast<uint8_t>(p[i]) : 0; };
    switch (b(0)) {
    case ' ':
    case '\t':
        return 1;
    case 0xC2:
        return b(1) == 0xA0 ? 2 : 0; // U+00A0
    case 0xE1:
        return b(1) == 0x9A && b(2) == 0x80 ? 3 : 0; // U+1680
    case 0xE2:
        if (b(1) == 0x80 && (b(2) <= 0x8A || b(2) == 0xAF) && b(2) >= 0x80) return 3; // U+2000..200A, U+202F
        return b(1) == 0x81 && b(2) == 0x9F ? 3 : 0;                                  // U+205F
    case 0xE3:
        return b(1) == 0x80 && b(2) == 0x80 ? 3 : 0; // U+3000
    default:
        return 0;
    }
}

// Length of the white-space character ending just before end, or 0.
size_t spaceBefore(const char* begin, const char* end) {
    for (size_t n = 1; n <= 3 && end - n >= begin; ++n)
        if (size_t k = spaceAt(end - n, end); k == n) return n;
    return 0;
}

} // namespace

std::string ReadError::message() const {
    return line > 0 ? "line " + std::to_string(line) + ": " + reason : reason;
}

plist::Expected<EntryRef, ReadError> PlistReader::makeRootEntryWithXML(std::string_view text) {
    text_ = text;
    if (!makeLines(text)) return ReadError{"no line <plist version=\"1.0\"> stands alone", 0};
    if (!cleanUpLines()) return failure();
    countAllChildren();
    const int64_t saved = idNumber_;
    split_ = planSplit();
    for (;;) {
        EntryRef root = Entry::make("", EntryType::String, std::string());
        int64_t lineNum = 0;
        if (lines_.empty() || !xml_setValueToEntry(*root, lineNum, 1)) {
            idNumber_ = saved;
            if (std::exchange(splitFailed_, false)) {
                root = nullptr; // what was built goes before the tree is built again
                split_ = Split();
                continue;
            }
            if (lines_.empty()) failAt("the plist element holds no value", 0);
            return failure();
        }
        root->setIdNumber(idNumber_++);
        return root;
    }
}

bool PlistReader::fail(std::string reason, const char* at) {
    failedReason_ = std::move(reason);
    failedAt_ = at;
    return false;
}

bool PlistReader::failAt(std::string reason, int64_t lineNum) {
    const PlistReader& s = *source_;
    // Past the last line, the fault is at the end of the text.
    if (lineNum < 0 || size_t(lineNum) >= s.lines_.size())
        return fail(std::move(reason), s.text_.data() + s.text_.size());
    return fail(std::move(reason), s.originOf(s.lines_[size_t(lineNum)]));
}

const char* PlistReader::originOf(std::string_view line) const {
    const auto at = reinterpret_cast<uintptr_t>(line.data());
    const auto begin = reinterpret_cast<uintptr_t>(text_.data());
    if (at >= begin && at <= begin + text_.size()) return line.data();
    for (size_t k = 0; k < owned_.size(); ++k)
        if (owned_[k].data() == line.data()) return ownedFrom_[k];
    return nullptr;
}

ReadError PlistReader::failure() const {
    ReadError e{failedReason_, 0};
    if (!failedAt_) return e;
    // Counted the way makeLines splits; a line end that ends the text starts no further line.
    const char* p = text_.data();
    const char* end = p + text_.size();
    e.line = 1;
    while (p < failedAt_) {
        const size_t le = lineEndAt(p, end);
        if (!le) {
            ++p;
            continue;
        }
        if (p + le >= end) break;
        ++e.line;
        p += le;
    }
    return e;
}

// Splits at line ends, trims white space at both ends and removes every tab left inside, and drops every
// line up to and including the first that is exactly <plist version="1.0">.
bool PlistReader::makeLines(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    // Text with line feeds as its only line ends (the services' own text) is split with memchr.
    const auto [lineFeeds, mayHaveOtherEnds] = countLineFeeds(text);
    const bool onlyLineFeeds = !mayHaveOtherEnds || (text.find('\r') == std::string_view::npos &&
                                                     text.find("\xC2\x85") == std::string_view::npos &&
                                                     text.find("\xE2\x80\xA8") == std::string_view::npos &&
                                                     text.find("\xE2\x80\xA9") == std::string_view::npos);
    lines_.reserve(lineFeeds + 1);
    bool afterPlist = false;
    while (p <= end) {
        const char* start = p;
        size_t le = 0;
        if (onlyLineFeeds) {
            const void* nl = std::memchr(p, '\n', size_t(end - p));
            p = nl ? static_cast<const char*>(nl) : end;
            le = nl ? 1 : 0;
        } else {
            while (p < end && (le = lineEndAt(p, end)) == 0)
                ++p;
        }
        const char* lineEnd = p;
        // Trim both ends; tabs lead most lines, and most end in '>', which is no space.
        while (start < lineEnd && *start == '\t')
            ++start;
        while (start < lineEnd) {
            size_t k = spaceAt(start, lineEnd);
            if (!k) break;
            start += k;
        }
        while (lineEnd > start && lineEnd[-1] != '>') {
            size_t k = spaceBefore(start, lineEnd);
            if (!k) break;
            lineEnd -= k;
        }
        std::string_view line(start, size_t(lineEnd - start));
        if (std::memchr(line.data(), '\t', line.size())) {
            std::string cleaned;
            cleaned.reserve(line.size());
            for (char c : line)
                if (c != '\t') cleaned += c;
            line = own(std::move(cleaned), start);
        }
        if (afterPlist) {
            lines_.push_back(line);
        } else if (line == kPlistLine) {
            afterPlist = true;
        }
        if (p == end) break;
        p += le;
    }
    return afterPlist;
}

// A "<data>" line takes the lines after it up to and including "</data>" into itself. As the original layout
// rule has it, a data line is joined only while at least two lines follow it. Then an "<array>" or "<dict>"
// line right before its closing line becomes "<array/>" or "<dict/>". One pass does both, in place: no
// join makes or takes a line that a fold looks at.
bool PlistReader::cleanUpLines() {
    const size_t n = lines_.size();
    size_t out = 0; // out never passes j
    for (size_t j = 0; j < n; ++j) {
        const std::string_view l = lines_[j];
        const std::string_view next = j + 1 < n ? lines_[j + 1] : std::string_view();
        if (l == "<array>" && next == "</array>") {
            lines_[out++] = "<array/>";
            ++j;
            continue;
        }
        if (l == "<dict>" && next == "</dict>") {
            lines_[out++] = "<dict/>";
            ++j;
            continue;
        }
        if (l != "<data>" || j + 2 >= n) {
            lines_[out++] = l;
            continue;
        }
        std::string joined(l);
        size_t k = j + 1;
        for (;; ++k) {
            // No "</data>": not the layout this reader knows.
            if (k >= n) return fail("<data> is not closed by a </data> line", originOf(l));
            joined += lines_[k];
            if (lines_[k] == "</data>") break;
        }
        lines_[out++] = own(std::move(joined), originOf(l));
        j = k;
    }
    lines_.resize(out);
    return true;
}

// The direct children of every container line, in one pass with a stack of open containers. A line is a
// child of the innermost open container unless it is a key line; a nested container counts once, by its
// opening line. Lines that open a container in another form (such as "<array>x") are counted on demand.
void PlistReader::countAllChildren() {
    childCounts_.assign(lines_.size(), -1);
    std::vector<size_t> open;
    for (size_t k = 0; k < lines_.size(); ++k) {
        std::string_view l = lines_[k];
        if (isOpening(l)) {
            if (!open.empty()) ++childCounts_[open.back()];
            childCounts_[k] = 0;
            open.push_back(k);
        } else if (isClosing(l)) {
            if (open.empty()) continue;
            // Containers that hold a good part of the lines are kept for planning a read on two threads.
            const size_t o = open.back();
            open.pop_back();
            if (k - o >= lines_.size() / 16 && k - o >= splitLines_ / 4)
                large_.push_back({int64_t(o), int64_t(k), open.empty() ? -1 : int64_t(open.back())});
        } else if (!open.empty() && !l.starts_with("<key>")) {
            ++childCounts_[open.back()];
        }
    }
}

int64_t PlistReader::countXMLItemWithLines(int64_t start) const {
    const Lines& lines_ = source_->lines_;
    if (start < 0 || size_t(start) >= lines_.size()) return 0;
    std::string_view first = lines_[size_t(start)];
    if (first == "<array></array>" || first == "<dict></dict>") return 0;
    if (source_->childCounts_[size_t(start)] >= 0) return source_->childCounts_[size_t(start)];
    // The walk of the original rule, for a line that only begins like a container.
    int64_t depth = 0, count = 0;
    for (size_t k = size_t(start); k < lines_.size(); ++k) {
        std::string_view l = lines_[k];
        if (isOpening(l)) {
            if (depth == 1) ++count;
            ++depth;
        } else if (isClosing(l)) {
            if (depth == 1) break;
            --depth;
        } else if (depth == 1 && !l.starts_with("<key>")) {
            ++count;
        }
    }
    return count;
}

EntryType PlistReader::getTypeNameWithXML(std::string_view line, int* typeNum) {
    int n;
    EntryType t;
    if (line.starts_with("<array>"))
        n = kArray, t = EntryType::Array;
    else if (line.starts_with("<dict>"))
        n = kDictionary, t = EntryType::Dictionary;
    else if (line.starts_with("<true") || line.starts_with("<false"))
        n = kBoolean, t = EntryType::Boolean;
    else if (line.starts_with("<data>"))
        n = kData, t = EntryType::Data;
    else if (line.starts_with("<date>"))
        n = kDate, t = EntryType::Date;
    else if (line.starts_with("<integer>") || line.starts_with("<real>"))
        n = kNumber, t = EntryType::Number;
    else if (line.starts_with("<string>"))
        n = kString, t = EntryType::String;
    else if (line == "<array/>")
        n = kEmptyArray, t = EntryType::Array;
    else if (line == "<dict/>")
        n = kEmptyDictionary, t = EntryType::Dictionary;
    else
        n = kUnknown, t = EntryType::NotApplicable;
    if (typeNum) *typeNum = n;
    return t;
}

std::optional<std::string> PlistReader::string(std::string_view line, std::string_view tag) {
    // The closing tag is one character longer than the opening one.
    if (line.size() < 2 * tag.size() + 1) return std::nullopt;
    std::string_view inner = line.substr(tag.size(), line.size() - 2 * tag.size() - 1);
    std::string out;
    out.reserve(inner.size());
    if (!plist::text::decodeCharacterData(inner, true, out)) return std::nullopt;
    return out;
}

Entry::Value PlistReader::descriptionOfValue(plist::Value&& v) {
    switch (v.type()) {
    case plist::Value::Type::String:
        return std::move(v.string());
    case plist::Value::Type::Integer:
        return Number::fromInteger(v.integer());
    case plist::Value::Type::Real:
        return Number::fromReal(v.real());
    case plist::Value::Type::Boolean:
        return v.boolean();
    case plist::Value::Type::Date:
        return v.date();
    case plist::Value::Type::Data:
        return std::move(v.data());
    default:
        return std::string();
    }
}

bool PlistReader::xml_setValueToEntry(Entry& entry, int64_t& lineNum, int depth) {
    const Lines& lines_ = source_->lines_;
    if (lineNum < 0 || size_t(lineNum) >= lines_.size())
        return failAt("the text ends before a value", lineNum);
    std::string_view line = lines_[size_t(lineNum)];
    int typeNum;
    entry.setType(getTypeNameWithXML(line, &typeNum));
    switch (typeNum) {
    case kArray:
    case kDictionary: {
        if (depth > plist::kMaxNestingDepth)
            return failAt("nesting deeper than " + std::to_string(plist::kMaxNestingDepth) + " levels",
                          lineNum);
        auto children = makeEntryFromXMLLines(lineNum, typeNum, depth);
        if (!children) return false;
        entry.setChildren(std::move(*children));
        return true;
    }
    case kEmptyArray:
    case kEmptyDictionary:
        entry.setChildren({});
        return true;
    case kUnknown:
        entry.setValue(std::string("unknown data"));
        return true;
    default: {
        auto v = plist::parseElement(line, true);
        if (!v) return failAt(v.error().message, lineNum);
        if (v->isContainer()) return failAt("a container where one value belongs", lineNum);
        // A line classified by its beginning must hold that kind of element.
        plist::Value::Type t = v->type();
        bool fits =
            (typeNum == kBoolean && t == plist::Value::Type::Boolean) ||
            (typeNum == kData && t == plist::Value::Type::Data) ||
            (typeNum == kDate && t == plist::Value::Type::Date) ||
            (typeNum == kNumber && (t == plist::Value::Type::Integer || t == plist::Value::Type::Real)) ||
            (typeNum == kString && t == plist::Value::Type::String);
        if (!fits) return failAt("the element is not the one the line begins with", lineNum);
        entry.setValue(descriptionOfValue(std::move(*v)));
        return true;
    }
    }
}

std::optional<Children> PlistReader::makeEntryFromXMLLines(int64_t& lineNum, int classTypeNumber, int depth) {
    const int64_t open = lineNum;
    int64_t count = countXMLItemWithLines(lineNum);
    Children children;
    if (count == 0) return children;
    if (open == split_.container) return makeChildrenSplit(lineNum, count, classTypeNumber, depth);
    children.reserve(size_t(count));
    ++lineNum;
    if (!buildChildren(children, lineNum, 0, count, classTypeNumber, depth)) return std::nullopt;
    return children;
}

bool PlistReader::buildChildren(Children& children, int64_t& lineNum, int64_t first, int64_t last,
                                int classTypeNumber, int depth) {
    const Lines& lines_ = source_->lines_;
    for (int64_t i = first; i < last; ++i) {
        if (size_t(lineNum) >= lines_.size())
            return failAt(classTypeNumber == kDictionary ? "the text ends inside a dictionary"
                                                         : "the text ends inside an array",
                          lineNum);
        std::string key;
        if (classTypeNumber == kDictionary) {
            auto k = string(lines_[size_t(lineNum)], "<key>");
            if (!k) return failAt("no readable <key> line before a dictionary value", lineNum);
            key = std::move(*k);
            ++lineNum;
        }
        EntryRef e = Entry::make(std::move(key), EntryType::String, std::string());
        if (!xml_setValueToEntry(*e, lineNum, depth + 1)) return false;
        e->setIdNumber(idNumber_++);
        if (uint64_t(idNumber_) % kProgressStride == 0 && !checkIn(lineNum)) return false;
        ++lineNum;
        children.push_back(std::move(e));
    }
    return true;
}

bool PlistReader::checkIn(int64_t lineNum) {
    if (linesRead_) linesRead_->store(lineNum - lineBase_, std::memory_order_relaxed);
    if (stop_ && stop_->load(std::memory_order_relaxed)) return false;
    if (!progress_) return true;
    if (!linesRead_) {
        const int64_t partner = partnerRead_ ? partnerRead_->load(std::memory_order_relaxed) : 0;
        progress_->report(LoadProgress::Building, uint64_t(lineNum + partner), source_->lines_.size());
    }
    return !progress_->isCancelled();
}

namespace {

// A thread's own heap grows a page at a time, with a system call each time; asking for its room at once
// first spares the build those calls.
void warmUpHeap(size_t bytes) {
    constexpr size_t kPiece = 96 << 10; // below the size the allocator maps on its own
    std::vector<void*> pieces(std::min<size_t>(bytes, size_t(64) << 20) / kPiece);
    for (void*& p : pieces)
        p = std::malloc(kPiece);
    for (void* p : pieces)
        std::free(p);
}

} // namespace

PlistReader::Split PlistReader::planSplit() const {
    if (lines_.size() < splitLines_ || std::thread::hardware_concurrency() < 2) return {};
    // Down from the top value while one child holds most of the lines.
    auto closeOf = [&](int64_t open) -> int64_t {
        for (const Large& l : large_)
            if (l.open == open) return l.close;
        return -1;
    };
    int64_t c = 0, close = closeOf(0);
    for (bool deeper = true; deeper && close >= 0;) {
        deeper = false;
        for (const Large& l : large_)
            if (l.parent == c && (l.close - l.open) * 10 > (close - c) * 6) {
                c = l.open, close = l.close, deeper = true;
                break;
            }
    }
    if (close < 0 || childCounts_[size_t(c)] < 2) return {};
    // Split at the first child that begins past half the container's lines. The first part's entries are
    // its value lines: every line but keys and closing lines.
    const bool dict = lines_[size_t(c)] == "<dict>";
    const int64_t half = c + (close - c) / 2;
    Split s;
    s.container = c;
    int64_t depth = 0, index = 0;
    for (int64_t k = c + 1; k < close; ++k) {
        const std::string_view l = lines_[size_t(k)];
        if (isClosing(l)) {
            --depth;
            continue;
        }
        if (l.starts_with("<key>")) continue;
        if (depth == 0) {
            const int64_t start = dict ? k - 1 : k;
            if (start >= half && index > 0) {
                s.secondIndex = index, s.secondLine = start;
                return s;
            }
            ++index;
        }
        ++s.firstIds;
        depth += isOpening(l);
    }
    return {};
}

std::optional<Children> PlistReader::makeChildrenSplit(int64_t& lineNum, int64_t count, int classTypeNumber,
                                                       int depth) {
    const Split s = std::exchange(split_, Split());
    Children children, rest;
    children.reserve(size_t(s.secondIndex));
    rest.reserve(size_t(count - s.secondIndex));
    int64_t secondIds = idNumber_ + s.firstIds;
    const int64_t secondBase = secondIds;
    std::atomic<bool> stop{false};
    std::atomic<int64_t> secondRead{0};
    PlistReader second(secondIds, progress_);
    second.source_ = this;
    second.stop_ = &stop;
    second.linesRead_ = &secondRead;
    second.lineBase_ = s.secondLine;
    partnerRead_ = &secondRead;
    struct Forget { // however this ends
        const std::atomic<int64_t>*& partner;
        ~Forget() { partner = nullptr; }
    } forget{partnerRead_};
    std::future<int64_t> secondEnd;
    try {
        secondEnd = std::async(std::launch::async, [&] {
            warmUpHeap(size_t(source_->lines_.size() - size_t(s.secondLine)) * 24);
            int64_t at = s.secondLine;
            return second.buildChildren(rest, at, s.secondIndex, count, classTypeNumber, depth) ? at : -1;
        });
    } catch (const std::system_error&) {
        // No thread to be had: one reads it all.
        ++lineNum;
        if (!buildChildren(children, lineNum, 0, count, classTypeNumber, depth)) return std::nullopt;
        return children;
    }
    ++lineNum;
    bool ok = false;
    try {
        ok = buildChildren(children, lineNum, 0, s.secondIndex, classTypeNumber, depth);
    } catch (...) {
        stop = true;
        throw; // the future's end waits for the second reader
    }
    if (!ok) stop = true;
    const int64_t end = secondEnd.get();
    if (!ok) return std::nullopt; // the one-thread read fails here too, in the same way
    if (lineNum != s.secondLine || idNumber_ != secondBase) {
        splitFailed_ = true;
        return std::nullopt;
    }
    if (end < 0) {
        // The second reader began where this one ended, with the same numbers: its fault is the one
        // the one-thread read finds.
        failedReason_ = second.failedReason_;
        failedAt_ = second.failedAt_;
        return std::nullopt;
    }
    idNumber_ = secondIds;
    lineNum = end;
    children.insert(children.end(), std::make_move_iterator(rest.begin()),
                    std::make_move_iterator(rest.end()));
    return children;
}

} // namespace model
