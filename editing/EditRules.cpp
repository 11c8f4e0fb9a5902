#include "EditRules.h"

#include <algorithm>

#include "TypeConversion.h"
#include "model/ValueText.h"

namespace editing {

namespace {

int depthOf(const Entry* e) {
    int depth = 1;
    for (const Entry* p = e->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

// The number of levels an entry's subtree spans: 1 for a scalar or an empty container.
int heightOf(const Entry* e) {
    int height = 0;
    std::vector<std::pair<const Entry*, int>> stack{{e, 1}};
    while (!stack.empty()) {
        auto [x, h] = stack.back();
        stack.pop_back();
        height = std::max(height, h);
        if (x->isContainer())
            for (const EntryRef& c : x->child())
                if (c->isContainer() || h + 1 > height) stack.emplace_back(c.get(), h + 1);
    }
    return height;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<Entry::Value> typedValue(EntryType type, std::string_view t) {
    switch (type) {
    case EntryType::Data: {
        auto bytes = t.size() >= 2 && t.front() == '<' && t.back() == '>' ? model::dataWithOldHexString(t)
                                                                          : model::dataWithNewHexString(t);
        if (bytes) return Entry::Value(std::move(*bytes));
        return std::nullopt;
    }
    case EntryType::Date:
        if (auto date = model::dateWithTypedText(t)) return Entry::Value(*date);
        return std::nullopt;
    case EntryType::Number:
        if (auto n = model::numberWithTypedText(t)) return Entry::Value(*n);
        return std::nullopt;
    case EntryType::Boolean:
        return Entry::Value(t == "1");
    default:
        return Entry::Value(std::string(t));
    }
}

EntryRef siblingWithKey(const EntryRef& item, std::string_view key) {
    if (!item || !item->parent()) return {};
    for (const EntryRef& c : item->parent()->child())
        if (c != item && c->key == key) return c;
    return {};
}

CommandBatch replaceKeyValue(const EntryRef& item, const EntryRef& duplicate, const std::string& newKey) {
    Entry* parent = item->parent();
    if (!parent || duplicate->parent() != parent) return {};
    return {CommandRecord::title("Replace Key/Value"),
            CommandRecord::renameKey(EntryRef(parent), int64_t(item->indexInParent()), newKey),
            CommandRecord::removeItem(EntryRef(parent), int64_t(duplicate->indexInParent()))};
}

CommandBatch valueChangeBatch(const EntryRef& item, Entry::Value value) {
    if (Entry* parent = item->parent())
        return {
            CommandRecord::changeValue(EntryRef(parent), int64_t(item->indexInParent()), std::move(value))};
    return {CommandRecord::title(kChangeValue),
            CommandRecord::changeType(item, nullptr, item->type(), std::move(value), {}, {})};
}

CommandBatch typeChangeBatch(const EntryRef& item, EntryType type) {
    if (!item || item->type() == type) return {};
    Entry::Value value = convertedValue(*item, type);
    model::Children children = item->isContainer() ? item->child() : model::Children();
    return {CommandRecord::changeType(item, EntryRef(item->parent()), type, std::move(value),
                                      std::move(children), {})};
}

bool nestsTooDeep(const Entry& parent, const Entry& item) {
    return depthOf(&parent) + heightOf(&item) > plist::kMaxNestingDepth;
}

bool keyLess(std::string_view a, std::string_view b, KeyOrder order) {
    if (order == KeyOrder::Bytes) return a < b;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Runs of digits compare as numbers: without leading zeros, the longer is larger.
            size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::string_view x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b; // equal as numbers ("01" and "1"): their bytes decide
}

CommandBatch sortKeysBatch(const EntryRef& item, bool branch, KeyOrder order) {
    CommandBatch batch{CommandRecord::title("Sort Keys")};
    std::vector<EntryRef> pending{item};
    while (!pending.empty()) {
        EntryRef e = std::move(pending.back());
        pending.pop_back();
        if (!e || !e->isContainer()) continue;
        if (e->type() == EntryType::Dictionary) {
            model::Children sorted = e->child();
            std::stable_sort(sorted.begin(), sorted.end(), [order](const EntryRef& a, const EntryRef& b) {
                return keyLess(a->key, b->key, order);
            });
            if (sorted != e->child()) batch.push_back(CommandRecord::reorderChildren(e, std::move(sorted)));
        }
        if (branch)
            for (const EntryRef& c : e->child())
                if (c->isContainer()) pending.push_back(c);
    }
    if (batch.size() == 1) batch.clear();
    return batch;
}

} // namespace editing
