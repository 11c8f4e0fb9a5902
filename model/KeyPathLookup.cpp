#include "KeyPathLookup.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace model {

namespace {

// The parts are split where the separator stands; U+241F stands for " › " with its spaces.
constexpr std::string_view kArrow = "\u203a";
constexpr char kUnit = '\x1f';

struct Lookup {
    std::string_view itemWord;
    bool arrows = false;
    KeyPathLookup best;
    size_t bestDepth = 0;

    bool isSeparator(char c) const { return arrows ? c == kUnit : c == '/' || c == '.'; }

    // The array element a part names: "Item N" or N.
    Entry* element(Entry& array, std::string_view part) const {
        std::string_view digits = part;
        const size_t at = itemWord.find("%1");
        if (at != std::string_view::npos && part.size() > itemWord.size() - 2 &&
            part.substr(0, at) == itemWord.substr(0, at) &&
            part.substr(part.size() - (itemWord.size() - at - 2)) == itemWord.substr(at + 2))
            digits = part.substr(at, part.size() - (itemWord.size() - 2));
        size_t n = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            n >= array.childCount())
            return nullptr;
        return array.child()[n].get();
    }

    // Finds rest below e; on failure remembers the deepest place reached.
    Entry* find(Entry& e, std::string_view rest, size_t depth) {
        if (e.isContainer() && e.type() == EntryType::Array) {
            const size_t end = std::min(
                rest.size(),
                size_t(std::find_if(rest.begin(), rest.end(), [&](char c) { return isSeparator(c); }) -
                       rest.begin()));
            if (Entry* c = element(e, rest.substr(0, end)))
                return end == rest.size() ? c : find(*c, rest.substr(end + 1), depth + 1);
        } else if (e.isContainer()) {
            // Every key that the rest starts with and that ends at a separator or at the end, longest first.
            std::vector<Entry*> keys;
            for (const EntryRef& c : e.child()) {
                const std::string_view k = c->key.view();
                if (rest.starts_with(k) && (rest.size() == k.size() || isSeparator(rest[k.size()])))
                    keys.push_back(c.get());
            }
            std::sort(keys.begin(), keys.end(), [](const Entry* a, const Entry* b) {
                return a->key.view().size() > b->key.view().size();
            });
            for (Entry* c : keys) {
                const size_t n = c->key.view().size();
                if (n == rest.size()) return c;
                if (Entry* found = find(*c, rest.substr(n + 1), depth + 1)) return found;
            }
        }
        if (!best.reached || depth > bestDepth) {
            best.reached = &e;
            bestDepth = depth;
            best.missingPart = std::string(
                rest.begin(), std::find_if(rest.begin(), rest.end(), [&](char c) { return isSeparator(c); }));
        }
        return nullptr;
    }
};

} // namespace

KeyPathLookup lookUpKeyPath(Entry& root, std::string_view path, std::string_view rootWord,
                            std::string_view itemWord) {
    Lookup lookup;
    lookup.itemWord = itemWord;
    std::string text(path);
    // " › " between the parts: the spaces around each arrow belong to it.
    if (text.find(kArrow) != std::string::npos) {
        lookup.arrows = true;
        std::string joined;
        for (size_t at = 0;;) {
            const size_t next = text.find(kArrow, at);
            std::string_view part =
                std::string_view(text).substr(at, next == std::string::npos ? std::string::npos : next - at);
            while (!part.empty() && part.front() == ' ')
                part.remove_prefix(1);
            while (!part.empty() && part.back() == ' ')
                part.remove_suffix(1);
            joined += part;
            if (next == std::string::npos) break;
            joined += kUnit;
            at = next + kArrow.size();
        }
        text = joined;
    }
    const std::string_view rest = text;
    KeyPathLookup result;
    const bool startsWithRoot = rest.starts_with(rootWord) &&
                                (rest.size() == rootWord.size() || lookup.isSeparator(rest[rootWord.size()]));
    if (startsWithRoot && rest.size() == rootWord.size()) {
        result.found = &root;
        return result;
    }
    if (startsWithRoot) result.found = lookup.find(root, rest.substr(rootWord.size() + 1), 0);
    if (!result.found && !rest.empty()) result.found = lookup.find(root, rest, 0);
    if (rest.empty()) result.found = &root;
    if (!result.found) {
        result.reached = lookup.best.reached;
        result.missingPart = lookup.best.missingPart;
    }
    return result;
}

} // namespace model
