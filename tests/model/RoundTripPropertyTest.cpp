#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "ModelTestSupport.h"
#include "model/Json.h"
#include "model/PlistDocument.h"
#include "model/TreeDiff.h"
#include "platform/plist/PropertyList.h"

using namespace model;
using namespace model::test;

namespace {

// Random entry trees of every type, with the values that are hard to write and read back. Remembers whether
// it put in a value that XML cannot hold.
class TreeMaker {
public:
    explicit TreeMaker(uint64_t seed) : rng_(seed) {}

    EntryRef tree() {
        unrepresentable_ = false;
        budget_ = 150;
        maxDepth_ = pick(4) == 0 ? 40 : 1 + int(pick(8));
        return pick(10) == 0 ? scalar() : container(1);
    }
    bool hasUnrepresentable() const { return unrepresentable_; }

    // Random edits of a tree: removals, insertions, moves among siblings and replaced values.
    void edit(const EntryRef& root, int count) {
        for (budget_ = 1000; count-- > 0;) {
            std::vector<EntryRef> all{root};
            for (size_t i = 0; i < all.size(); ++i)
                if (all[i]->isContainer())
                    all.insert(all.end(), all[i]->child().begin(), all[i]->child().end());
            EntryRef e = all[pick(all.size())];
            Entry* parent = e->parent();
            size_t k = pick(4), at = e->indexInParent();
            if (k == 0 && e->isContainer()) {
                EntryRef n = pick(2) ? scalar() : container(maxDepth_);
                n->key = pick(2) ? "dup" : text();
                e->insertChild(pick(e->childCount() + 1), n);
            } else if (k == 1 && parent) {
                parent->removeChild(at);
            } else if (k == 2 && parent) {
                parent->moveChild(at, pick(parent->childCount()));
            } else if (k == 3 && parent) {
                EntryRef n = scalar();
                n->key = e->key;
                parent->removeChild(at);
                parent->insertChild(at, n);
            }
        }
    }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    std::string text(bool xmlCanHold = false) {
        // The last six pieces are characters XML cannot hold; the empty piece stands for NUL.
        // clang-format off
        static const char* const pieces[] = {
            "a", "key", "Item", " ", "&", "<", ">", "&amp;", "]]>", "\"'", "\t", "\n", "\r", "\r\n",
            "\xE2\x80\xA8", "\xE2\x80\xA9", "\xC2\x85", "\xF0\x9F\x98\x80", "\xC3\xA9", "\xC2\xA0",
            "\xE3\x80\x80", "<plist version=\"1.0\">", "<data>", "</array>", "9", "-",
            "\x01", "\x1F", "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEF\xBF\xBF", ""};
        // clang-format on
        const size_t safe = std::size(pieces) - 6;
        std::string s;
        for (size_t n = pick(6); n > 0; --n) {
            size_t k = !xmlCanHold && pick(25) == 0 ? safe + pick(6) : pick(safe);
            unrepresentable_ |= k >= safe;
            s += k + 1 == std::size(pieces) ? std::string(1, '\0') : pieces[k];
        }
        return s;
    }

    plist::Integer integer() {
        const uint64_t r = rng_();
        const plist::Integer choices[] = {
            plist::Integer::fromUnsigned(UINT64_MAX), plist::Integer::fromSigned(INT64_MIN),
            plist::Integer::fromSigned(int64_t(r | (uint64_t(1) << 63))), plist::Integer::fromUnsigned(r),
            plist::Integer::fromSigned(int64_t(r % 200) - 100)};
        return choices[pick(std::size(choices))];
    }

    double real() {
        static const double awkward[] = {2.0,      -0.0,     0.0,       1e20,      5e-324, DBL_MAX,
                                         -DBL_MIN, HUGE_VAL, -HUGE_VAL, 0.1 + 0.2, 1e16,   -123456789.0};
        if (pick(5) == 0) return std::nan("");
        if (pick(2) == 0) return awkward[pick(std::size(awkward))];
        uint64_t b = rng_();
        double d;
        std::memcpy(&d, &b, sizeof d);
        return std::isnan(d) ? 1.5 : d;
    }

    // Mostly within years 1 to 9999, often with a fraction of a second; now and then outside.
    double date() {
        constexpr double first = -63113904000.0, last = 252423993599.0;
        const double outside[] = {std::nan(""), first - 1 - double(pick(1000)), last + 1.5, HUGE_VAL};
        size_t k = pick(8);
        unrepresentable_ |= k == 0;
        if (k == 0) return outside[pick(std::size(outside))];
        if (k == 1) return pick(2) ? first : last + 0.5;
        double whole = double(int64_t(pick(4000000000)) - 2000000000);
        return whole + (k == 2 ? double(pick(1000)) / 1000 : double(pick(2)) * 0.25);
    }

    EntryRef scalar() {
        --budget_;
        size_t k = pick(6);
        if (k == 0) return Entry::make("", EntryType::String, text());
        if (k == 1) return Entry::make("", EntryType::Boolean, pick(2) == 0);
        if (k == 2) return Entry::make("", EntryType::Date, plist::Date{date()});
        if (k == 3) return Entry::make("", EntryType::Number, Number::fromReal(real()));
        if (k == 4) return Entry::make("", EntryType::Number, Number::fromInteger(integer()));
        Data d(pick(4) == 0 ? 0 : pick(80));
        for (auto& b : d)
            b = uint8_t(rng_());
        return Entry::make("", EntryType::Data, d);
    }

    EntryRef container(int depth) {
        --budget_;
        bool dict = pick(2) == 0;
        EntryRef c = Entry::makeContainer("", dict ? EntryType::Dictionary : EntryType::Array);
        // Deep trees go down a chain of single containers; others spread.
        size_t n = maxDepth_ > 10 && depth < maxDepth_ ? 1 + pick(2) : pick(6);
        for (size_t i = 0; i < n && budget_ > 0; ++i) {
            bool deeper = depth < maxDepth_ && (maxDepth_ > 10 ? i == 0 : pick(3) == 0);
            EntryRef e = deeper ? container(depth + 1) : scalar();
            static const char* const common[] = {"dup", "", "a", "$date"}; // duplicate, empty, wrapper keys
            if (dict) e->key = pick(4) == 0 ? common[pick(std::size(common))] : text();
            if (!dict && pick(4) == 0) e->key = text(true); // array children may keep old keys
            c->appendChild(e);
        }
        return c;
    }

    std::mt19937_64 rng_;
    bool unrepresentable_ = false;
    int budget_ = 0;
    int maxDepth_ = 1;
};

} // namespace

// Exact text brings everything back; saved XML all but fractions of a second, or a refusal when XML cannot
// hold a value; text for other programs is always well-formed; binary and typed JSON hold every value
// exactly.
TEST(RoundTripProperty, RandomTreesSurviveEveryWriterAndReader) {
    TreeMaker maker(20240301);
    int strictChecked = 0, unrepresentableChecked = 0;
    for (int n = 0; n < 200; ++n) {
        SCOPED_TRACE("tree " + std::to_string(n));
        PlistDocument doc;
        EntryRef root = maker.tree();
        auto exact = doc.plistStringWithItem(root, WriteMode::Exact).value();
        EntryRef back = doc.makeRootEntryWithXML(exact).value();
        ASSERT_TRUE(back) << exact;
        ASSERT_EQ(dump(*root), dump(*back)) << exact;

        auto strict = doc.plistStringWithItem(root, WriteMode::Strict);
        if (maker.hasUnrepresentable()) {
            ++unrepresentableChecked;
            EXPECT_EQ(kindOf(strict), plist::Error::Kind::Unrepresentable);
        } else {
            ++strictChecked;
            EntryRef saved = doc.makeRootEntryWithXML(strict.value()).value();
            ASSERT_TRUE(saved) << *strict;
            EXPECT_EQ(dump(*root, true), dump(*saved)) << *strict;
            EXPECT_TRUE(plist::parse(*strict).ok());
        }
        auto sanitized = doc.plistStringWithItem(root, WriteMode::Sanitized).value();
        EXPECT_TRUE(plist::parse(sanitized).ok()) << sanitized;
        doc.setRoot(root);
        auto binary = doc.binaryData().value();
        EXPECT_EQ(plist::parse(binary).value().value, PlistDocument::propertyListValue(*root));
        // and reads straight into the tree the text path makes of it.
        EXPECT_TRUE(expectBothBinaryLoadsAgree(binary, exact));
        // Typed JSON gives back the very same bytes.
        std::string json = writeJson(plist::parse(binary).value().value, {.typed = true}).value();
        EXPECT_EQ(propertyListToJson(binary, {.typed = true}).value(), json);
        auto fromJson = readJson(json, {.typed = true});
        ASSERT_TRUE(fromJson.ok()) << fromJson.error().message << "\n" << json;
        EXPECT_EQ(plist::serialize(*fromJson, plist::Format::Binary).value(), binary) << json;
    }
    // The generator reaches both kinds of tree.
    EXPECT_GT(strictChecked, 50);
    EXPECT_GT(unrepresentableChecked, 20);
}

// Applying the differences reported between a random tree and a randomly edited copy gives the copy: with key
// order counting, exactly; without, up to the order of keys.
TEST(RoundTripProperty, ApplyingTheDifferencesOfRandomEditsGivesTheEditedTree) {
    TreeMaker maker(20261208);
    for (int n = 0; n < 300; ++n) {
        SCOPED_TRACE("tree " + std::to_string(n));
        EntryRef a = maker.tree(), b = copyTree(*a);
        maker.edit(b, 1 + n % 6);
        for (bool order : {true, false}) {
            EntryRef a2 = copyTree(*a);
            applyDifferences(*a2, diffTrees(*a2, *b, {.order = order}));
            EXPECT_EQ(order ? dump(*a2) : "", order ? dump(*b) : "");
            EXPECT_TRUE(diffTrees(*a2, *b, {.order = order}).empty()) << dump(*a2) << "\nagainst\n"
                                                                      << dump(*b);
        }
    }
}
