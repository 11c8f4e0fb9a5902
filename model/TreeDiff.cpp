#include "TreeDiff.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ValueText.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace model {
namespace {

// Every tree read is at most plist::kMaxNestingDepth deep, so walking it by recursion is bounded.

// The hash of every branch of one tree and the number of entries in it, both in preorder: the children of
// the entry at p start at p + 1, each following its elder sibling's branch.
struct TreeHashes {
    std::vector<uint64_t> hash;
    std::vector<uint32_t> size;

    TreeHashes(const Entry& root, bool keyOrder) : keyOrder_(keyOrder) { add(root); }

    // The preorder positions of a container's children.
    std::vector<uint32_t> children(const Entry& e, uint32_t at) const {
        std::vector<uint32_t> c(e.childCount());
        uint32_t p = at + 1;
        for (auto& x : c) {
            x = p;
            p += size[p];
        }
        return c;
    }

private:
    static uint64_t mix(uint64_t seed, uint64_t value) {
        return XXH3_64bits_withSeed(&value, sizeof value, seed);
    }
    static uint64_t bytes(uint64_t seed, std::string_view b) {
        return XXH3_64bits_withSeed(b.data(), b.size(), seed);
    }

    uint64_t add(const Entry& e) {
        const size_t at = hash.size();
        hash.push_back(0);
        size.push_back(1);
        const uint64_t seed = uint64_t(e.type()) * 0x9E3779B97F4A7C15ull + 1;
        uint64_t h = seed;
        switch (e.type()) {
        case EntryType::Array:
        case EntryType::Dictionary: {
            if (!e.isContainer()) break;
            const bool dictionary = e.type() == EntryType::Dictionary;
            uint64_t sum = 0;
            for (const EntryRef& c : e.child()) {
                uint64_t ch = add(*c);
                if (dictionary) ch = bytes(ch, c->key.view());
                // Without key order a dictionary's hash is that of its key and branch pairs as a set.
                if (dictionary && !keyOrder_)
                    sum += ch;
                else
                    h = mix(h, ch);
            }
            h = mix(mix(h, sum), e.childCount());
            size[at] = uint32_t(hash.size() - at);
            break;
        }
        case EntryType::Boolean:
            h = mix(seed, e.boolValue());
            break;
        case EntryType::Number: {
            Number n = e.numberValue();
            h = n.isReal ? mix(seed + 1, std::bit_cast<uint64_t>(n.real))
                         : mix(seed + 2 + n.integer.isNegative(), n.integer.bits());
            break;
        }
        case EntryType::Date:
            h = mix(seed, std::bit_cast<uint64_t>(e.dateValue().seconds));
            break;
        case EntryType::Data: {
            BytesView b = e.dataValue();
            h = bytes(seed, {reinterpret_cast<const char*>(b.data()), b.size()});
            break;
        }
        case EntryType::String:
        case EntryType::NotApplicable:
            h = e.holdsString() ? bytes(seed, e.stringValue()) : seed;
            break;
        }
        hash[at] = h;
        return h;
    }

    bool keyOrder_;
};

using Match = std::pair<uint32_t, uint32_t>;

// The longest increasing run of second members, by patience sorting: the positions in pairs that keep.
std::vector<size_t> longestIncreasing(const std::vector<Match>& pairs) {
    std::vector<size_t> tails, previous(pairs.size(), SIZE_MAX);
    for (size_t i = 0; i < pairs.size(); ++i) {
        auto at = std::lower_bound(tails.begin(), tails.end(), pairs[i].second,
                                   [&](size_t t, uint32_t v) { return pairs[t].second < v; });
        if (at != tails.begin()) previous[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<size_t> kept;
    for (size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = previous[i])
        kept.push_back(i);
    std::reverse(kept.begin(), kept.end());
    return kept;
}

// The longest common subsequence of two hash sequences as matched positions in increasing order: common ends
// first, the rest by Myers' O(ND) search for the middle snake in linear space. Where the differences run so
// many that the search would cost more than a budget, it splits at the furthest point its forward search
// reached instead, as GNU diff does, giving a common subsequence that may not be the longest.
class CommonSubsequence {
public:
    CommonSubsequence(std::span<const uint64_t> a, std::span<const uint64_t> b) : a_(a), b_(b) {
        run(0, ptrdiff_t(a.size()), 0, ptrdiff_t(b.size()));
    }
    std::vector<Match> matches;

private:
    struct Snake {
        ptrdiff_t x0, y0, x1, y1;
    };
    static constexpr ptrdiff_t kBudget = ptrdiff_t(1) << 24;

    void run(ptrdiff_t l, ptrdiff_t r, ptrdiff_t t, ptrdiff_t bt) {
        ptrdiff_t common = 0;
        while (r > l && bt > t && a_[size_t(r - 1)] == b_[size_t(bt - 1)])
            --r, --bt, ++common;
        while (true) {
            while (l < r && t < bt && a_[size_t(l)] == b_[size_t(t)])
                matches.emplace_back(uint32_t(l++), uint32_t(t++));
            if (l == r || t == bt) break;
            // The part after the snake goes round this loop rather than deeper, as the split of an expensive
            // search leaves the most there.
            const Snake s = middleSnake(l, r, t, bt);
            run(l, s.x0, t, s.y0);
            for (ptrdiff_t i = 0; i < s.x1 - s.x0; ++i)
                matches.emplace_back(uint32_t(s.x0 + i), uint32_t(s.y0 + i));
            l = s.x1, t = s.y1;
        }
        for (ptrdiff_t i = 0; i < common; ++i)
            matches.emplace_back(uint32_t(r + i), uint32_t(bt + i));
    }

    Snake middleSnake(ptrdiff_t l, ptrdiff_t r, ptrdiff_t t, ptrdiff_t bt) const {
        const ptrdiff_t n = r - l, m = bt - t, delta = n - m;
        const bool odd = delta & 1;
        const ptrdiff_t most = std::min((n + m + 1) / 2, std::max<ptrdiff_t>(64, kBudget / (n + m)));
        std::vector<ptrdiff_t> forward(size_t(2 * most + 3)), backward(size_t(2 * most + 3));
        ptrdiff_t* vf = forward.data() + most + 1;
        ptrdiff_t* vb = backward.data() + most + 1;
        vf[1] = l;
        vb[1] = bt;
        for (ptrdiff_t d = 0; d <= most; ++d) {
            for (ptrdiff_t k = d; k >= -d; k -= 2) {
                ptrdiff_t x = (k == -d || (k != d && vf[k - 1] < vf[k + 1])) ? vf[k + 1] : vf[k - 1] + 1;
                ptrdiff_t y = t + (x - l) - k;
                const ptrdiff_t x0 = x, y0 = y;
                while (x < r && y < bt && a_[size_t(x)] == b_[size_t(y)])
                    ++x, ++y;
                vf[k] = x;
                const ptrdiff_t c = k - delta;
                if (odd && c >= -(d - 1) && c <= d - 1 && y >= vb[c]) return {x0, y0, x, y};
            }
            for (ptrdiff_t c = d; c >= -d; c -= 2) {
                ptrdiff_t y = (c == -d || (c != d && vb[c - 1] > vb[c + 1])) ? vb[c + 1] : vb[c - 1] - 1;
                const ptrdiff_t k = c + delta;
                ptrdiff_t x = l + (y - t) + k;
                const ptrdiff_t x1 = x, y1 = y;
                while (x > l && y > t && a_[size_t(x - 1)] == b_[size_t(y - 1)])
                    --x, --y;
                vb[c] = y;
                if (!odd && k >= -d && k <= d && x <= vf[k]) return {x, y, x1, y1};
            }
        }
        // Too expensive: the forward search's furthest point inside the box, reached with `most` steps.
        Snake best{l + 1, t, l + 1, t};
        for (ptrdiff_t k = most; k >= -most; k -= 2) {
            const ptrdiff_t x = vf[k], y = t + (x - l) - k;
            if (x <= r && y <= bt && x + y > best.x0 + best.y0 && (x < r || y < bt)) best = {x, y, x, y};
        }
        return best;
    }

    std::span<const uint64_t> a_, b_;
};

// One step of comparing two containers, run in the order of the old one: a difference to report or a pair
// of children to compare.
struct Step {
    size_t oldAt;
    int beforeOld; // 0: an addition placed before the old child at oldAt
    bool compare;
    Difference difference;
    uint32_t oldNode = 0, newNode = 0;
    bool arrival = false; // the new side of a move, placed where it arrives
    // For a move: where the entry would go among the old children (as an insertion before the old one
    // leaves) and among the new ones.
    size_t oldPlace = 0, newPlace = 0;
};

} // namespace

class Differ {
public:
    Differ(const Entry& a, const Entry& b, const DiffOptions& options, std::vector<Difference>& out)
        : a_(a, options.order), b_(b, options.order), options_(options), out_(out) {}

    bool same(uint32_t ai, uint32_t bi) const { return a_.hash[ai] == b_.hash[bi]; }

    // The steps between two containers of one type, in the order of the old one; with everyRow, a step for
    // every pair (equal ones too) and one for the arrival of each move.
    std::vector<Step> containerSteps(const EntryRef& a, uint32_t ai, const EntryRef& b, uint32_t bi,
                                     bool everyRow) {
        std::vector<uint32_t> an = a_.children(*a, ai), bn = b_.children(*b, bi);
        const Pairing p = a->type() == EntryType::Dictionary ? dictionary(a, b) : array(an, bn);
        std::vector<Step> s = steps(a, an, b, bn, p, everyRow);
        std::stable_sort(s.begin(), s.end(), [](const Step& x, const Step& y) {
            return x.oldAt != y.oldAt ? x.oldAt < y.oldAt : x.beforeOld < y.beforeOld;
        });
        return s;
    }

    void compare(const EntryRef& a, uint32_t ai, const EntryRef& b, uint32_t bi, Difference place) {
        if (a_.hash[ai] == b_.hash[bi] && a->type() == b->type()) return;
        place.oldEntry = a;
        place.newEntry = b;
        if (a->type() != b->type() || a->isContainer() != b->isContainer()) {
            place.kind = DiffKind::TypeChanged;
            out_.push_back(std::move(place));
        } else if (!a->isContainer()) {
            place.kind = DiffKind::Changed;
            out_.push_back(std::move(place));
        } else {
            for (Step& s : containerSteps(a, ai, b, bi, false)) {
                if (s.compare)
                    compare(s.difference.oldEntry, s.oldNode, s.difference.newEntry, s.newNode, s.difference);
                else
                    out_.push_back(std::move(s.difference));
            }
        }
    }

private:
    // The pairs found between two containers' children (old position to new, -1 for none): kept pairs
    // (in the same order on both sides) and moved ones.
    struct Pairing {
        std::vector<int64_t> newOf, oldOf;
        std::vector<bool> moved; // by old position
    };

    Difference at(const EntryRef& a, size_t i, const EntryRef& b, size_t j) const {
        Difference d;
        d.oldParent = a;
        d.newParent = b;
        d.oldIndex = i;
        d.newIndex = j;
        if (i < a->childCount()) d.oldEntry = a->child()[i];
        if (j < b->childCount()) d.newEntry = b->child()[j];
        return d;
    }

    // The steps every pairing gives: comparisons of kept pairs, moves, and the additions and removals, each
    // placed after the nearest kept neighbour before it on the other side.
    std::vector<Step> steps(const EntryRef& a, const std::vector<uint32_t>& an, const EntryRef& b,
                            const std::vector<uint32_t>& bn, const Pairing& p, bool everyRow) const {
        std::vector<Step> s;
        size_t placeInNew = 0;
        for (size_t i = 0; i < an.size(); ++i) {
            const int64_t j = p.newOf[i];
            if (j < 0) {
                Difference d = at(a, i, b, placeInNew);
                d.newEntry = {};
                d.kind = DiffKind::Removed;
                s.push_back({i, 1, false, std::move(d)});
                continue;
            }
            if (p.moved[i]) {
                Difference d = at(a, i, b, size_t(j));
                d.kind = DiffKind::Moved;
                s.push_back({i, 1, false, std::move(d)});
                s.back().newPlace = placeInNew;
            } else {
                placeInNew = size_t(j) + 1;
            }
            if (p.moved[i] ? !everyRow : everyRow || a_.hash[an[i]] != b_.hash[bn[size_t(j)]])
                s.push_back({i, 2, true, at(a, i, b, size_t(j)), an[i], bn[size_t(j)]});
        }
        size_t placeInOld = 0;
        std::unordered_map<size_t, size_t> arrivals; // old position of a moved entry to its place
        for (size_t j = 0; j < bn.size(); ++j) {
            const int64_t i = p.oldOf[j];
            if (i >= 0 && !p.moved[size_t(i)]) placeInOld = size_t(i) + 1;
            if (i >= 0 && everyRow && p.moved[size_t(i)]) {
                Difference d = at(a, size_t(i), b, j);
                d.kind = DiffKind::Moved;
                s.push_back({placeInOld, 0, false, std::move(d), 0, 0, true, placeInOld});
                arrivals[size_t(i)] = placeInOld;
            }
            if (i >= 0) continue;
            Difference d = at(a, placeInOld, b, j);
            d.oldEntry = {};
            d.kind = DiffKind::Added;
            s.push_back({placeInOld, 0, false, std::move(d)});
        }
        std::unordered_map<size_t, size_t> departures;
        for (const Step& x : s)
            if (x.difference.kind == DiffKind::Moved && !x.compare && !x.arrival)
                departures[x.difference.oldIndex] = x.newPlace;
        for (Step& x : s)
            if (x.difference.kind == DiffKind::Moved && !x.compare) {
                x.oldPlace = arrivals.count(x.difference.oldIndex) ? arrivals[x.difference.oldIndex] : 0;
                x.newPlace = departures[x.difference.oldIndex];
            }
        return s;
    }

    static uint64_t keyHash(const Entry& e) { return XXH3_64bits(e.key.data(), e.key.size()); }

    Pairing dictionary(const EntryRef& a, const EntryRef& b) const {
        const Children &ac = a->child(), &bc = b->child();
        Pairing p{std::vector<int64_t>(ac.size(), -1), std::vector<int64_t>(bc.size(), -1),
                  std::vector<bool>(ac.size())};
        // Keys in the same places need no lookup; the rest match the n-th of equal keys to the n-th.
        size_t same = 0;
        while (same < ac.size() && same < bc.size() && ac[same]->key == bc[same]->key.view()) {
            p.newOf[same] = p.oldOf[same] = int64_t(same);
            ++same;
        }
        // The rest by a hash of the key, sorted so that equal keys keep their order; each run of one hash
        // hands out its entries in turn (a run mixing keys whose hashes collide is searched).
        std::vector<std::pair<uint64_t, uint32_t>> rest;
        for (size_t j = same; j < bc.size(); ++j)
            rest.emplace_back(keyHash(*bc[j]), uint32_t(j));
        std::sort(rest.begin(), rest.end());
        std::vector<uint32_t> next(rest.size());
        for (size_t i = same; i < ac.size(); ++i) {
            const uint64_t h = keyHash(*ac[i]);
            auto run = std::lower_bound(rest.begin(), rest.end(), std::pair<uint64_t, uint32_t>(h, 0));
            if (run == rest.end() || run->first != h) continue;
            uint32_t& start = next[size_t(run - rest.begin())];
            for (auto it = run + start; it != rest.end() && it->first == h; ++it) {
                if (p.oldOf[it->second] >= 0 || bc[it->second]->key.view() != ac[i]->key.view()) continue;
                p.newOf[i] = it->second;
                p.oldOf[it->second] = int64_t(i);
                if (it == run + start) ++start;
                break;
            }
        }
        if (options_.order) {
            std::vector<Match> pairs;
            for (size_t i = 0; i < ac.size(); ++i)
                if (p.newOf[i] >= 0) pairs.emplace_back(uint32_t(i), uint32_t(p.newOf[i]));
            std::vector<bool> kept(pairs.size());
            for (size_t k : longestIncreasing(pairs))
                kept[k] = true;
            for (size_t k = 0; k < pairs.size(); ++k)
                p.moved[pairs[k].first] = !kept[k];
        }
        return p;
    }

    Pairing array(const std::vector<uint32_t>& an, const std::vector<uint32_t>& bn) const {
        std::vector<uint64_t> ah(an.size()), bh(bn.size());
        for (size_t i = 0; i < an.size(); ++i)
            ah[i] = a_.hash[an[i]];
        for (size_t j = 0; j < bn.size(); ++j)
            bh[j] = b_.hash[bn[j]];
        Pairing p{std::vector<int64_t>(an.size(), -1), std::vector<int64_t>(bn.size(), -1),
                  std::vector<bool>(an.size())};
        CommonSubsequence lcs(ah, bh);
        for (auto [i, j] : lcs.matches)
            p.newOf[i] = j, p.oldOf[j] = i;
        // An item left on both sides with one hash moved.
        std::unordered_map<uint64_t, std::vector<uint32_t>> left;
        for (size_t i = an.size(); i-- > 0;)
            if (p.newOf[i] < 0) left[ah[i]].push_back(uint32_t(i));
        for (size_t j = 0; j < bn.size() && !left.empty(); ++j) {
            if (p.oldOf[j] >= 0) continue;
            auto it = left.find(bh[j]);
            if (it == left.end() || it->second.empty()) continue;
            const uint32_t i = it->second.back();
            it->second.pop_back();
            p.newOf[i] = int64_t(j), p.oldOf[j] = i, p.moved[i] = true;
        }
        // Between two kept items, the items left on each side pair in order as changed in place.
        size_t i = 0, j = 0;
        auto pairGap = [&](size_t iEnd, size_t jEnd) {
            while (true) {
                while (i < iEnd && p.newOf[i] >= 0)
                    ++i;
                while (j < jEnd && p.oldOf[j] >= 0)
                    ++j;
                if (i >= iEnd || j >= jEnd) break;
                p.newOf[i] = int64_t(j), p.oldOf[j] = int64_t(i);
            }
        };
        for (auto [mi, mj] : lcs.matches) {
            pairGap(mi, mj);
            i = mi + 1, j = mj + 1;
        }
        pairGap(an.size(), bn.size());
        return p;
    }

    TreeHashes a_, b_;
    DiffOptions options_;
    std::vector<Difference>& out_;
};

namespace {

std::string pathIn(const EntryRef& entry, const EntryRef& parent, size_t index, const EntryRef& other) {
    if (entry) return keyPath(*entry);
    if (!parent) return std::string(kRootLabel);
    std::string label = parent->type() == EntryType::Dictionary && other ? std::string(other->key.view())
                                                                         : "Item " + std::to_string(index);
    return keyPath(*parent) + " \u203a " + label;
}

} // namespace

std::string_view diffKindName(DiffKind kind) {
    static constexpr std::string_view kNames[] = {"added", "removed", "changed", "type changed", "moved"};
    return kNames[size_t(kind)];
}

std::string differenceText(const Difference& d) {
    auto shown = [](const EntryRef& e) { return withVisibleMarks(valueText(*e)); };
    auto typed = [&](const EntryRef& e) { return std::string(typeName(e->type())) + " " + shown(e); };
    switch (d.kind) {
    case DiffKind::Added:
        return "+ " + d.newPath() + ": " + typed(d.newEntry);
    case DiffKind::Removed:
        return "- " + d.oldPath();
    case DiffKind::Changed:
        return "~ " + d.oldPath() + ": " + shown(d.oldEntry) + " \u2192 " + shown(d.newEntry);
    case DiffKind::TypeChanged:
        return "~ " + d.oldPath() + ": " + typed(d.oldEntry) + " \u2192 " + typed(d.newEntry);
    case DiffKind::Moved:
        return "\u21b7 " + d.oldPath() + " \u2192 " + withVisibleMarks(keyLabel(*d.newEntry));
    }
    return {};
}

std::string Difference::oldPath() const {
    return pathIn(oldEntry, oldParent, oldIndex, newEntry);
}

std::string Difference::newPath() const {
    return pathIn(newEntry, newParent, newIndex, oldEntry);
}

std::vector<Difference> diffTrees(const Entry& oldRoot, const Entry& newRoot, const DiffOptions& options) {
    return TreeComparison(EntryRef(const_cast<Entry*>(&oldRoot)), EntryRef(const_cast<Entry*>(&newRoot)),
                          options)
        .differences();
}

TreeComparison::TreeComparison(EntryRef oldRoot, EntryRef newRoot, const DiffOptions& options)
    : differ_(std::make_unique<Differ>(*oldRoot, *newRoot, options, differences_)) {
    differ_->compare(oldRoot, 0, newRoot, 0, {});
    root_.difference.oldEntry = std::move(oldRoot);
    root_.difference.newEntry = std::move(newRoot);
    classify(root_);
}

TreeComparison::~TreeComparison() = default;

void TreeComparison::classify(ComparedRow& row) const {
    const Difference& d = row.difference;
    if (!row.newShown || !row.oldShown) {
        row.differs = true;
    } else if (d.oldEntry->type() != d.newEntry->type() ||
               d.oldEntry->isContainer() != d.newEntry->isContainer()) {
        row.differs = true;
        row.difference.kind = DiffKind::TypeChanged;
    } else if (!differ_->same(row.oldNode, row.newNode)) {
        row.differs = !d.oldEntry->isContainer();
        row.differsBelow = d.oldEntry->isContainer();
        row.difference.kind = DiffKind::Changed;
    }
}

std::vector<ComparedRow> TreeComparison::children(const ComparedRow& row) const {
    std::vector<ComparedRow> rows;
    const Difference& d = row.difference;
    if (!row.oldShown || !row.newShown) {
        // A branch on one side only: its rows show on that side, tinted as it is.
        const EntryRef& e = row.oldShown ? d.oldEntry : d.newEntry;
        for (size_t i = 0; i < e->childCount(); ++i) {
            ComparedRow r;
            (row.oldShown ? r.difference.oldEntry : r.difference.newEntry) = e->child()[i];
            (row.oldShown ? r.difference.oldParent : r.difference.newParent) = e;
            r.difference.oldIndex = r.difference.newIndex = i;
            r.difference.kind = row.difference.kind;
            r.oldShown = row.oldShown;
            r.newShown = row.newShown;
            r.tinted = true;
            rows.push_back(std::move(r));
        }
        return rows;
    }
    if (!d.oldEntry->isContainer() || !d.newEntry->isContainer() || d.oldEntry->type() != d.newEntry->type())
        return rows;
    for (Step& s : differ_->containerSteps(d.oldEntry, row.oldNode, d.newEntry, row.newNode, true)) {
        ComparedRow r;
        r.difference = std::move(s.difference);
        r.oldNode = s.oldNode;
        r.newNode = s.newNode;
        r.oldPlace = s.oldPlace;
        r.newPlace = s.newPlace;
        if (s.compare) {
            classify(r);
        } else {
            r.differs = true;
            r.oldShown = r.difference.kind != DiffKind::Added && !s.arrival;
            r.newShown =
                r.difference.kind != DiffKind::Removed && (r.difference.kind != DiffKind::Moved || s.arrival);
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

EntryRef copyTree(const Entry& e) {
    if (!e.isContainer()) return Entry::make(e.key.view(), e.type(), e.value());
    EntryRef c = Entry::makeContainer(e.key.view(), e.type());
    Children children;
    children.reserve(e.childCount());
    for (const EntryRef& x : e.child())
        children.push_back(copyTree(*x));
    c->setChildren(std::move(children));
    return c;
}

void applyDifferences(Entry& oldRoot, const std::vector<Difference>& differences) {
    // Values and types first: they keep every entry where it is.
    struct Structure {
        std::vector<const Entry*> leaving;
        std::vector<std::pair<size_t, EntryRef>> arriving;
    };
    std::unordered_map<Entry*, Structure> byParent;
    for (const Difference& d : differences) {
        Entry* target = d.oldEntry ? d.oldEntry.get() : nullptr;
        if (!d.oldParent && target) target = &oldRoot;
        switch (d.kind) {
        case DiffKind::Changed:
            target->setValue(d.newEntry->value());
            break;
        case DiffKind::TypeChanged:
            target->setType(d.newEntry->type());
            if (d.newEntry->isContainer())
                target->setChildren(copyTree(*d.newEntry)->child());
            else
                target->setValue(d.newEntry->value());
            break;
        case DiffKind::Removed:
            byParent[d.oldParent.get()].leaving.push_back(target);
            break;
        case DiffKind::Moved:
            byParent[d.oldParent.get()].leaving.push_back(target);
            byParent[d.oldParent.get()].arriving.emplace_back(d.newIndex, d.oldEntry);
            break;
        case DiffKind::Added:
            byParent[d.oldParent.get()].arriving.emplace_back(d.newIndex, copyTree(*d.newEntry));
            break;
        }
    }
    // Then each container keeps what stays, in order, and takes the arrivals at their new places.
    for (auto& [parent, s] : byParent) {
        std::sort(s.leaving.begin(), s.leaving.end());
        Children kept;
        for (const EntryRef& c : parent->child())
            if (!std::binary_search(s.leaving.begin(), s.leaving.end(), c.get())) kept.push_back(c);
        std::sort(s.arriving.begin(), s.arriving.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
        Children all;
        all.reserve(kept.size() + s.arriving.size());
        size_t k = 0;
        for (auto& [index, e] : s.arriving) {
            while (all.size() < index && k < kept.size())
                all.push_back(kept[k++]);
            all.push_back(e);
        }
        while (k < kept.size())
            all.push_back(kept[k++]);
        parent->setChildren(std::move(all));
    }
}

} // namespace model
