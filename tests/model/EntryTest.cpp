#include <gtest/gtest.h>

#include <cmath>

#include "model/Entry.h"

using namespace model;

namespace {

EntryRef str(std::string key, std::string value) {
    return Entry::make(std::move(key), EntryType::String, std::move(value));
}

// Five string children "0" .. "4" under an array.
EntryRef arrayOfFive() {
    EntryRef a = Entry::makeContainer("", EntryType::Array);
    for (int i = 0; i < 5; ++i)
        a->appendChild(str("", std::to_string(i)));
    return a;
}

std::string order(const Entry& e) {
    std::string s;
    for (const auto& c : e.child())
        s += c->stringValue();
    return s;
}

// Every child points at its parent and knows its own position.
::testing::AssertionResult linksAreRight(const Entry& e) {
    for (size_t i = 0; i < e.childCount(); ++i) {
        const Entry& c = *e.child()[i];
        if (c.parent() != &e) return ::testing::AssertionFailure() << "child " << i << " has another parent";
        if (c.indexInParent() != i)
            return ::testing::AssertionFailure() << "child " << i << " thinks it is at " << c.indexInParent();
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Entry, InsertingRemovingAndMovingKeepParentLinksAndPositions) {
    EntryRef a = arrayOfFive();
    EXPECT_TRUE(linksAreRight(*a));
    a->insertChild(0, str("", "a"));
    a->insertChild(3, str("", "b"));
    a->insertChild(99, str("", "c")); // past the end: appended
    EXPECT_EQ(order(*a), "a01b234c");
    EXPECT_TRUE(linksAreRight(*a));

    EntryRef removed = a->removeChild(2);
    EXPECT_EQ(removed->stringValue(), "1");
    EXPECT_EQ(removed->parent(), nullptr);
    a->removeChild(0);
    a->removeChild(5);
    EXPECT_EQ(order(*a), "0b234");
    EXPECT_TRUE(linksAreRight(*a));

    const std::pair<size_t, size_t> moves[] = {{0, 4}, {4, 0}, {1, 3}, {2, 2}, {4, 1}};
    const char* orders[] = {"b2340", "0b234", "023b4", "023b4", "0423b"};
    for (size_t i = 0; i < std::size(moves); ++i) {
        a->moveChild(moves[i].first, moves[i].second);
        EXPECT_EQ(order(*a), orders[i]) << i;
        EXPECT_TRUE(linksAreRight(*a)) << i;
    }
}

TEST(Entry, SettingChildrenAdoptsTheNewAndReleasesTheOld) {
    EntryRef a = arrayOfFive();
    EntryRef old0 = a->child()[0];
    EntryRef kept = a->child()[4];
    a->setChildren({str("", "x"), kept, str("", "y")});
    EXPECT_EQ(order(*a), "x4y");
    EXPECT_TRUE(linksAreRight(*a));
    EXPECT_EQ(old0->parent(), nullptr);
    EXPECT_EQ(kept->indexInParent(), 1u);

    // A scalar value releases every child.
    a->setType(EntryType::String);
    a->setValue(std::string("plain"));
    EXPECT_FALSE(a->isContainer());
    EXPECT_EQ(a->childCount(), 0u);
    EXPECT_EQ(kept->parent(), nullptr);

    // A container made with its children links them at once.
    EntryRef d = Entry::make("", EntryType::Dictionary, Children{str("k", "v"), str("l", "w")});
    EXPECT_TRUE(linksAreRight(*d));
}

TEST(Entry, EntriesLiveWhileAReferenceHoldsThem) {
    EntryRef child;
    EntryRef grandchild;
    {
        EntryRef root = Entry::makeContainer("", EntryType::Dictionary);
        EntryRef mid = Entry::makeContainer("mid", EntryType::Array);
        mid->appendChild(str("", "deep"));
        root->appendChild(mid);
        child = root->child()[0];
        grandchild = child->child()[0];
    }
    // The root is gone; what is still referenced is whole, and the links to the freed root are cleared.
    ASSERT_TRUE(child);
    EXPECT_EQ(child->key, "mid");
    EXPECT_EQ(child->parent(), nullptr);
    EXPECT_EQ(grandchild->stringValue(), "deep");
    EXPECT_EQ(grandchild->parent(), child.get());
}
