#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

#include "PlistTestSupport.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/BinaryWriter.h"

using namespace plist;
using namespace plist::test;

namespace {

std::string be(uint64_t v, unsigned width) {
    std::string s(width, '\0');
    for (unsigned i = width; i-- > 0; v >>= 8)
        s[i] = char(v & 0xFF);
    return s;
}
std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}
// A marker with its count, extended by an integer when the count does not fit the low nibble.
std::string marker(int kind, uint64_t count) {
    if (count < 15) return bytes({kind << 4 | int(count)});
    return bytes({kind << 4 | 0xF, 0x13}) + be(count, 8);
}
std::string ascii(std::string_view s) {
    return marker(0x5, s.size()) + std::string(s);
}
std::string int8(uint8_t v) {
    return bytes({0x10, v});
}
std::string refs(std::initializer_list<uint64_t> list, unsigned refSize = 1) {
    std::string s;
    for (uint64_t r : list)
        s += be(r, refSize);
    return s;
}
std::string array(std::initializer_list<uint64_t> list, unsigned refSize = 1) {
    return marker(0xA, list.size()) + refs(list, refSize);
}
std::string dictionary(std::initializer_list<uint64_t> keys, std::initializer_list<uint64_t> values) {
    return marker(0xD, keys.size()) + refs(keys) + refs(values);
}

// Assembles a "bplist00" file from the bytes of its objects, computing the offset table and the trailer;
// any trailer field or offset can be set to a wrong value on purpose.
struct Bplist {
    Bplist() = default;
    explicit Bplist(std::vector<std::string> o, unsigned offsetWidth = 1, unsigned refWidth = 1)
        : objects(std::move(o)), offsetSize(offsetWidth), refSize(refWidth) {}

    std::vector<std::string> objects;
    unsigned offsetSize = 1;
    unsigned refSize = 1;
    uint64_t top = 0;
    std::optional<uint64_t> count, tableOffset;
    std::map<size_t, uint64_t> offsets; // object number -> offset written instead of the real one

    size_t objectAt(size_t i) const {
        size_t at = 8;
        for (size_t k = 0; k < i; ++k)
            at += objects[k].size();
        return at;
    }
    size_t tableAt() const { return objectAt(objects.size()); }
    size_t trailerAt() const { return tableAt() + objects.size() * offsetSize; }

    std::string build() const {
        std::string s = "bplist00";
        for (const auto& o : objects)
            s += o;
        for (size_t i = 0; i < objects.size(); ++i)
            s += be(offsets.count(i) ? offsets.at(i) : objectAt(i), offsetSize);
        s += std::string(6, '\0');
        s += char(offsetSize);
        s += char(refSize);
        s += be(count.value_or(objects.size()), 8);
        s += be(top, 8);
        s += be(tableOffset.value_or(tableAt()), 8);
        return s;
    }
};

Expected<Value> read(const Bplist& b) {
    return readBinary(b.build());
}

// n arrays, each holding the next; the last is empty.
Bplist chainOfArrays(int n) {
    Bplist b;
    b.refSize = b.offsetSize = 2;
    for (int i = 0; i + 1 < n; ++i)
        b.objects.push_back(array({uint64_t(i + 1)}, 2));
    b.objects.push_back(array({}));
    return b;
}

struct BadBinary {
    std::string name;
    std::string bytes;
    Error::Kind kind = Error::Kind::Binary;
    int64_t offset = -1; // where the fault is reported, when the test pins it
};
void PrintTo(const BadBinary& c, std::ostream* os) {
    *os << c.name;
}

std::vector<BadBinary> badBinaries() {
    std::vector<BadBinary> cases;
    auto add = [&](std::string name, const Bplist& b, int64_t offset = -1,
                   Error::Kind kind = Error::Kind::Binary) {
        cases.push_back({std::move(name), b.build(), kind, offset});
    };
    const Bplist one{{int8(1)}};
    auto with = [](Bplist b, auto change) {
        change(b);
        return b;
    };
    int64_t t = int64_t(one.trailerAt());

    cases.push_back({"OnlyTheHeader", "bplist00", Error::Kind::Binary, 0});
    cases.push_back({"ShorterThanATrailer", one.build().substr(0, 40), Error::Kind::Binary, 0});
    const Bplist zero = with(one, [](Bplist& b) { b.offsetSize = 0; });
    add("OffsetSizeZero", zero, int64_t(zero.trailerAt() + 6));
    const Bplist nine = with(one, [](Bplist& b) { b.offsetSize = 9; });
    add("OffsetSizeNine", nine, int64_t(nine.trailerAt() + 6));
    add("ReferenceSizeZero", with(one, [](Bplist& b) { b.refSize = 0; }), t + 7);
    add("ReferenceSizeNine", with(one, [](Bplist& b) { b.refSize = 9; }), t + 7);
    add("ObjectCountZero", with(one, [](Bplist& b) { b.count = 0; }), t + 8);
    add("ObjectCountBeyondTheOffsetTable", with(one, [](Bplist& b) { b.count = 2; }), t + 24);
    add("ObjectCountOf2To64Minus1", with(one, [](Bplist& b) { b.count = UINT64_MAX; }), t + 24);
    add("TopObjectOutOfRange", with(one, [](Bplist& b) { b.top = 1; }), t + 16);
    add("TopObjectOf2To64Minus1", with(one, [](Bplist& b) { b.top = UINT64_MAX; }), t + 16);
    add("OffsetTableInsideTheHeader", with(one, [](Bplist& b) { b.tableOffset = 2; }), t + 24);
    add("OffsetTablePastTheEnd", with(one, [](Bplist& b) { b.tableOffset = 1000; }), t + 24);
    add("OffsetTableAt2To64Minus1", with(one, [](Bplist& b) { b.tableOffset = UINT64_MAX; }), t + 24);
    add("ObjectOffsetInsideTheHeader", with(one, [](Bplist& b) { b.offsets[0] = 3; }),
        int64_t(one.tableAt()));
    add("ObjectOffsetInTheOffsetTable", with(one, [&](Bplist& b) { b.offsets[0] = one.tableAt(); }),
        int64_t(one.tableAt()));
    add("ObjectOffsetPastTheEnd", with(one, [](Bplist& b) { b.offsets[0] = 5000; }), int64_t(one.tableAt()));

    Bplist ref{{array({1, 7}), int8(1)}};
    add("ReferencePastObjectCount", ref, int64_t(ref.objectAt(0) + 2));
    Bplist keyRef{{dictionary({9}, {1}), int8(1)}};
    add("KeyReferencePastObjectCount", keyRef, int64_t(keyRef.objectAt(0) + 1));
    Bplist wideRef{{array({1, 0x10000}, 4), int8(1)}, 1, 4};
    add("WideReferencePastObjectCount", wideRef, int64_t(wideRef.objectAt(0) + 5));

    add("ArrayContainingItself", Bplist{{array({0})}}, 8);
    add("ArraysInACycleBelowTheTop", Bplist{{array({1}), array({2}), array({1})}}, 10);
    add("ArraysContainingEachOther", Bplist{{array({1}), array({0})}}, 8);
    add("DictionaryContainingItself", Bplist{{dictionary({1}, {0}), ascii("k")}}, 8);
    add("ArrayInsideADictionaryContainingIt", Bplist{{dictionary({1}, {2}), ascii("k"), array({0})}}, 8);
    add("DictionaryKeyIsAnInteger", Bplist{{dictionary({1}, {1}), int8(1)}});
    add("DictionaryKeyIsAnArray", Bplist{{dictionary({1}, {2}), array({}), int8(1)}});
    add("DictionaryKeyIsItsOwnDictionary", Bplist{{dictionary({0}, {0})}});

    add("Set", Bplist{{array({1}), bytes({0xC1, 2}), int8(1)}}, 10);
    add("OrderedSet", Bplist{{bytes({0xB0})}}, 8);
    add("Null", Bplist{{bytes({0x00})}}, 8);
    add("Fill", Bplist{{array({1}), bytes({0x0F})}}, 10);
    add("UnusedMarker7", Bplist{{bytes({0x70})}}, 8);

    add("ArrayCountLargerThanTheFile", Bplist{{marker(0xA, 1u << 30) + refs({0})}});
    add("ArrayCountOf2To64Minus1", Bplist{{marker(0xA, UINT64_MAX) + refs({0})}});
    add("DictionaryCountLargerThanTheFile", Bplist{{marker(0xD, 100) + refs({1, 1})}});
    // The payload may run up to the trailer, and not one byte further.
    add("DataOneByteLongerThanTheFile", Bplist{{marker(0x4, 4) + "ab"}}, 8);
    add("AsciiOneByteLongerThanTheFile", Bplist{{marker(0x5, 4) + "ab"}}, 8);
    add("Utf16OneUnitLongerThanTheFile", Bplist{{marker(0x6, 2) + "ab"}}, 8);
    add("AsciiCountLargerThanTheFile", Bplist{{marker(0x5, 1000) + "abc"}});
    add("Utf16CountLargerThanTheFile", Bplist{{marker(0x6, 1ull << 62) + "ab"}});
    add("DataCountLargerThanTheFile", Bplist{{marker(0x4, UINT64_MAX) + "abc"}});
    add("CountThatIsNotAnInteger", Bplist{{bytes({0x5F, 0x23}) + be(0, 8)}}, 9);
    add("CountOf16Bytes", Bplist{{bytes({0x5F, 0x14}) + be(0, 16)}}, 9);
    add("CountRunningPastTheEnd", Bplist{{bytes({0x5F, 0x13, 0})}});

    add("IntegerOf32Bytes", Bplist{{bytes({0x15}) + be(0, 16) + be(0, 16)}}, 8);
    add("IntegerRunningPastTheEnd", Bplist{{array({1}), bytes({0x13, 1})}}, 10);
    add("Integer128AboveTheUnsignedRange", Bplist{{bytes({0x14}) + be(1, 8) + be(0, 8)}}, 8);
    add("Integer128BelowTheSignedRange", Bplist{{bytes({0x14}) + be(UINT64_MAX, 8) + be(5, 8)}}, 8);
    add("Integer128WithOnlyTheTopBitSet", Bplist{{bytes({0x14}) + be(1ull << 63, 8) + be(0, 8)}}, 8);
    add("RealOfOneByte", Bplist{{bytes({0x20, 1})}}, 8);
    add("RealRunningPastTheEnd", Bplist{{array({1}), bytes({0x23, 1})}}, 10);
    add("DateOfFourBytes", Bplist{{bytes({0x32, 0, 0, 0, 0})}}, 8);
    add("DateRunningPastTheEnd", Bplist{{array({1}), bytes({0x33, 1})}}, 10);
    add("UidOfNineBytes", Bplist{{bytes({0x88}) + be(1, 9)}}, 8);

    add("NestingDeeperThan512", chainOfArrays(kMaxNestingDepth + 1), -1, Error::Kind::TooDeep);

    // A shared array referenced 14 times, nested 40 levels: 14^40 values if it were expanded.
    Bplist bomb;
    for (uint64_t i = 0; i < 40; ++i) {
        uint64_t n = i + 1;
        bomb.objects.push_back(array({n, n, n, n, n, n, n, n, n, n, n, n, n, n}));
    }
    bomb.objects.push_back(ascii("boom"));
    add("SharedArrayBomb", bomb);
    // The same with dictionaries, whose keys are shared strings too.
    Bplist dictBomb;
    dictBomb.objects.push_back(ascii("k"));
    for (uint64_t i = 1; i <= 40; ++i)
        dictBomb.objects.push_back(dictionary({0, 0, 0, 0}, {i + 1, i + 1, i + 1, i + 1}));
    dictBomb.objects.push_back(array({}));
    dictBomb.top = 1;
    add("SharedDictionaryBomb", dictBomb);
    return cases;
}

class BinaryReaderRefuses : public ::testing::TestWithParam<BadBinary> {};

} // namespace

TEST_P(BinaryReaderRefuses, TheFile) {
    auto r = readBinary(GetParam().bytes);
    ASSERT_FALSE(r.ok()) << "read " << ::testing::PrintToString(*r);
    EXPECT_EQ(r.error().kind, GetParam().kind) << r.error().message;
    if (GetParam().offset >= 0) {
        EXPECT_EQ(r.error().offset, GetParam().offset) << r.error().message;
    }
}

INSTANTIATE_TEST_SUITE_P(BinaryReader, BinaryReaderRefuses, ::testing::ValuesIn(badBinaries()),
                         [](const auto& info) { return info.param.name; });

TEST(BinaryReader, RefusesEveryTruncationOfAValidFile) {
    auto file = writeBinary(dict({{"key", arr({"text", integer(-5), Value(1.5), data({1, 2, 3})})},
                                  {"uni", "\xE2\x98\x83"},
                                  {"when", Value(Date{1})}}));
    ASSERT_TRUE(file.ok());
    ASSERT_TRUE(readBinary(*file).ok());
    for (size_t n = 0; n < file->size(); ++n)
        EXPECT_FALSE(readBinary(std::string_view(*file).substr(0, n)).ok()) << n << " bytes";
}

TEST(BinaryReader, SurvivesEverySingleByteChange) {
    std::string file =
        writeBinary(dict({{"a", arr({"text", integer(300), Value(true), dict({{"b", Value(Uid{2})}})})},
                          {"c", data({1, 2})}}))
            .value();
    for (size_t at = 0; at < file.size(); ++at) {
        for (int b : {0x00, 0x01, 0x0F, 0x7F, 0x80, 0xAF, 0xD1, 0xFF}) {
            std::string bent = file;
            bent[at] = char(b);
            (void)readBinary(bent); // must neither crash nor hang; either answer is fine
        }
    }
}

TEST(BinaryReader, ReadsIntegersOfEveryWidth) {
    Bplist b{{array({1, 2, 3, 4, 5, 6, 7, 8}), bytes({0x10, 0xFF}), bytes({0x11, 0xFF, 0xFE}),
              bytes({0x12}) + be(0xFFFFFFFF, 4), bytes({0x13}) + be(UINT64_MAX, 8),
              bytes({0x13}) + be(uint64_t(INT64_MAX), 8), bytes({0x14}) + be(0, 8) + be(UINT64_MAX, 8),
              bytes({0x14}) + be(UINT64_MAX, 8) + be(1ull << 63, 8),
              bytes({0x14}) + be(UINT64_MAX, 8) + be(UINT64_MAX, 8)}};
    auto r = read(b);
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, arr({integer(255), integer(0xFFFE), integer(0xFFFFFFFF), integer(-1), integer(INT64_MAX),
                       Value::unsignedInteger(UINT64_MAX), integer(INT64_MIN), integer(-1)}));
}

TEST(BinaryReader, ReadsStringsRealsDatesDataAndUids) {
    Bplist b{
        {array({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), ascii("plain"),
         marker(0x6, 4) + bytes({0xD8, 0x3D, 0xDE, 0x00, 0xD8, 0x00, 0x00, 0x41}), // U+1F600, lone D800, A
         marker(0x6, 1) + bytes({0xDC, 0x00}),                                     // a lone low surrogate
         bytes({0x52, 'c', 0xE9}), // Latin-1 in an ASCII string
         bytes({0x22}) + be(0x3FC00000, 4), bytes({0x23}) + be(0xC004000000000000ull, 8),
         bytes({0x33}) + be(0x41C5C858B8000000ull, 8), marker(0x4, 3) + bytes({0, 0xFF, 0x10}),
         bytes({0x80, 0x07}), bytes({0x87}) + be(UINT64_MAX, 8), bytes({0x08})}};
    auto r = read(b);
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, arr({"plain",
                       "\xF0\x9F\x98\x80\xED\xA0\x80"
                       "A",
                       "\xED\xB0\x80", "c\xC3\xA9", Value(1.5), Value(-2.5), Value(Date{730902896}),
                       data({0, 0xFF, 0x10}), Value(Uid{7}), Value(Uid{UINT64_MAX}), Value(false)}));
}

TEST(BinaryReader, KeepsDuplicateKeysAndSharedValues) {
    // The same string object is key, value and array entry; sharing is not a cycle.
    Bplist b{{dictionary({1, 1}, {2, 2}), ascii("k"), array({1, 1})}};
    auto r = read(b);
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, dict({{"k", arr({"k", "k"})}, {"k", arr({"k", "k"})}}));
}

TEST(BinaryReader, ReadsModestSharingOfAString) {
    Bplist b;
    b.refSize = b.offsetSize = 2;
    std::string refsToOne(2000 * 2, '\0');
    for (size_t i = 0; i < 2000; ++i)
        refsToOne[2 * i + 1] = 1;
    b.objects = {marker(0xA, 2000) + refsToOne, ascii(std::string(100, 'x'))};
    auto r = read(b);
    ASSERT_TRUE(r.ok()) << messageOf(r);
    ASSERT_EQ(r->array().size(), 2000u);
    EXPECT_EQ(r->array()[1999], Value(std::string(100, 'x')));
}

TEST(BinaryReader, ReadsNestingOf512Levels) {
    auto r = read(chainOfArrays(kMaxNestingDepth));
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, nestedArrays(kMaxNestingDepth));
}
