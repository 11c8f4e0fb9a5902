#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "model/Entry.h"

using namespace model;

namespace {

EntryRef str(std::string value) {
    return Entry::make("", EntryType::String, std::move(value));
}

// The children's values in order, or the first child whose parent link or position is wrong.
std::string order(const Entry& e) {
    std::string s;
    for (size_t i = 0; i < e.childCount(); ++i) {
        const Entry& c = *e.child()[i];
        if (c.parent() != &e || c.indexInParent() != i)
            return "child " + std::to_string(i) + " has wrong links";
        s += c.stringValue();
    }
    return s;
}

} // namespace

// An entry lives while a reference holds it; the links to a freed parent are cleared.
TEST(Entry, ChangesOfChildrenKeepParentLinksAndPositionsAndEntriesLiveWhileReferenced) {
    EntryRef a =
        Entry::make("", EntryType::Array, Children{str("0"), str("1"), str("2"), str("3"), str("4")});
    a->insertChild(0, str("a"));
    a->insertChild(3, str("b"));
    a->insertChild(99, str("c")); // past the end: appended
    EXPECT_EQ(order(*a), "a01b234c");
    EntryRef removed = a->removeChild(2);
    EXPECT_EQ(removed->stringValue() + (removed->parent() ? " linked" : ""), "1");
    a->removeChild(0);
    a->removeChild(5);
    EXPECT_EQ(order(*a), "0b234");
    const std::pair<size_t, size_t> moves[] = {{0, 4}, {4, 0}, {1, 3}, {2, 2}, {4, 1}};
    const char* orders[] = {"b2340", "0b234", "023b4", "023b4", "0423b"};
    for (size_t i = 0; i < std::size(moves); ++i) {
        a->moveChild(moves[i].first, moves[i].second);
        EXPECT_EQ(order(*a), orders[i]) << i;
    }
    EntryRef old0 = a->child()[0], kept = a->child()[4];
    a->setChildren({str("x"), kept, str("y")});
    EXPECT_EQ(order(*a), "xby");
    EXPECT_EQ(old0->parent(), nullptr);

    a->setType(EntryType::String);
    a->setValue(std::string("plain")); // a scalar value releases every child
    EXPECT_EQ(kept->parent(), nullptr);
    EntryRef inner = Entry::make("", EntryType::Array, Children{str("deep")}), deep = inner->child()[0];
    Entry::make("", EntryType::Dictionary, Children{inner}); // the parent is freed at once
    EXPECT_EQ(inner->parent(), nullptr);
    EXPECT_EQ(deep->parent(), inner.get());
    EXPECT_EQ(deep->stringValue(), "deep");
}

// Keys and texts of up to 15 bytes stay in the entry; a long key and a long value share one block, and every
// change to either keeps the other's bytes.
TEST(Entry, KeysAndValuesKeepTheirBytesInPlaceOrSharingOneBlockThroughChanges) {
    for (size_t k : {0, 15, 16, 40})
        for (size_t v : {0, 15, 16, 40}) {
            const std::string key(k, 'k'), text(v, '\0'), longer(50, 'n');
            EntryRef e = Entry::make(key, EntryType::String, text);
            EXPECT_EQ(e->key, key);
            EXPECT_EQ(e->stringValue(), text);
            e->setValue(Data(v, 7)); // data in the same place as text
            EXPECT_EQ(e->key, key);
            EXPECT_TRUE(e->dataValue() == Data(v, 7));
            CompactText copy = e->key;
            e->key = longer; // a new key leaves the value where it is
            EXPECT_EQ(copy, key);
            EXPECT_TRUE(e->dataValue() == Data(v, 7));
            e->setValue(text);
            e->key = e->key.view().substr(1); // a key made from its own bytes
            e->setValue(Number::fromReal(0.5));
            EXPECT_EQ(e->key, longer.substr(1));
            EXPECT_EQ(e->numberValue().real, 0.5);
        }
}

// Entries are made on loading threads and released on the main thread while it makes others: no block is
// ever handed out twice.
TEST(Entry, ThreadsMakeAndReleaseEntriesAtOnceWithoutSharingABlock) {
    constexpr int kEach = 100000;
    std::vector<EntryRef> made[2];
    auto makeAndRelease = [&](int t) {
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < kEach; ++i)
                made[t].push_back(Entry::makeString("k", "v"));
            if (round < 2) made[t].resize(kEach / 3); // released here, and the rest by the other thread
        }
    };
    std::thread other(makeAndRelease, 1);
    makeAndRelease(0);
    other.join();
    std::swap(made[0], made[1]);
    std::thread releaser([&] { made[1].clear(); });
    std::set<const Entry*> seen;
    for (int i = 0; i < kEach; ++i)
        made[0].push_back(Entry::makeString("k", "w"));
    releaser.join();
    for (const EntryRef& e : made[0])
        EXPECT_TRUE(seen.insert(e.get()).second && e->stringValue() != "") << "a block handed out twice";
}
