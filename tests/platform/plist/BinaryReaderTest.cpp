#include <gtest/gtest.h>

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
    return std::string(b.begin(), b.end());
}
// A marker with its count, extended by an integer when the count does not fit the low nibble.
std::string marker(int kind, uint64_t count) {
    return count < 15 ? bytes({kind << 4 | int(count)}) : bytes({kind << 4 | 0xF, 0x13}) + be(count, 8);
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
    Bplist(std::vector<std::string> o = {}, unsigned offsetWidth = 1, unsigned refWidth = 1)
        : objects(std::move(o)), offsetSize(offsetWidth), refSize(refWidth) {}
    std::vector<std::string> objects;
    unsigned offsetSize = 1, refSize = 1;
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
        s += std::string(6, '\0') + char(offsetSize) + char(refSize);
        return s + be(count.value_or(objects.size()), 8) + be(top, 8) +
               be(tableOffset.value_or(tableAt()), 8);
    }
};

struct BadBinary {
    std::string name, bytes;
    int64_t offset = -1; // where the fault is reported, when the test pins it
    Error::Kind kind = Error::Kind::Binary;
    std::string says; // a part of the message, when the test pins it
};

std::vector<BadBinary> badBinaries() {
    std::vector<BadBinary> cases;
    auto add = [&](std::string name, const Bplist& b, int64_t offset = -1,
                   Error::Kind kind = Error::Kind::Binary, std::string says = {}) {
        cases.push_back({std::move(name), b.build(), offset, kind, std::move(says)});
    };
    const Bplist one{{int8(1)}};
    auto with = [&](auto change) {
        Bplist b = one;
        change(b);
        return b;
    };
    const int64_t t = int64_t(one.trailerAt()), table = int64_t(one.tableAt());

    cases.push_back({"OnlyTheHeader", "bplist00", 0, Error::Kind::Binary, {}});
    cases.push_back({"ShorterThanATrailer", one.build().substr(0, 40), 0, Error::Kind::Binary, {}});
    // The trailer follows the offset table, whose width is the offset size.
    add("OffsetSizeZero", with([](Bplist& b) { b.offsetSize = 0; }), table + 6);
    add("OffsetSizeNine", with([](Bplist& b) { b.offsetSize = 9; }), table + 9 + 6);
    add("ReferenceSizeZero", with([](Bplist& b) { b.refSize = 0; }), t + 7);
    add("ReferenceSizeNine", with([](Bplist& b) { b.refSize = 9; }), t + 7);
    add("ObjectCountZero", with([](Bplist& b) { b.count = 0; }), t + 8);
    add("ObjectCountBeyondTheOffsetTable", with([](Bplist& b) { b.count = 2; }), t + 24);
    add("ObjectCountOf2To64Minus1", with([](Bplist& b) { b.count = UINT64_MAX; }), t + 24);
    add("TopObjectOutOfRange", with([](Bplist& b) { b.top = 1; }), t + 16);
    add("OffsetTableInsideTheHeader", with([](Bplist& b) { b.tableOffset = 2; }), t + 24);
    add("OffsetTableAt2To64Minus1", with([](Bplist& b) { b.tableOffset = UINT64_MAX; }), t + 24);
    const Error::Kind binary = Error::Kind::Binary;
    const std::string outside = "offset " + std::to_string(one.tableAt()) + " outside the object area";
    add("ObjectOffsetInsideTheHeader", with([](Bplist& b) { b.offsets[0] = 3; }), table, binary,
        "offset 3 outside");
    add("ObjectOffsetInTheOffsetTable", with([&](Bplist& b) { b.offsets[0] = one.tableAt(); }), table, binary,
        outside);

    add("ReferencePastObjectCount", {{array({1, 7}), int8(1)}}, 8 + 2);
    add("KeyReferencePastObjectCount", {{dictionary({9}, {1}), int8(1)}}, 8 + 1);
    add("WideReferencePastObjectCount", {{array({1, 0x10000}, 4), int8(1)}, 1, 4}, 8 + 5);

    add("ArrayContainingItself", {{array({0})}}, 8);
    add("ArraysInACycleBelowTheTop", {{array({1}), array({2}), array({1})}}, 10);
    add("ArrayInsideADictionaryContainingIt", {{dictionary({1}, {2}), ascii("k"), array({0})}}, 8);
    add("DictionaryKeyIsAnInteger", {{dictionary({1}, {1}), int8(1)}});
    add("DictionaryKeyIsItsOwnDictionary", {{dictionary({0}, {0})}});

    add("Set", {{array({1}), bytes({0xC1, 2}), int8(1)}}, 10);
    add("OrderedSet", {{bytes({0xB0})}}, 8);
    add("Null", {{bytes({0x00})}}, 8);
    add("Fill", {{array({1}), bytes({0x0F})}}, 10);
    add("UnusedMarker7", {{bytes({0x70})}}, 8);

    add("ArrayCountOf2To64Minus1", {{marker(0xA, UINT64_MAX) + refs({0})}});
    add("DictionaryCountLargerThanTheFile", {{marker(0xD, 100) + refs({1, 1})}});
    // A payload may run up to the offset table, and not one byte further.
    add("Utf16RunningIntoTheOffsetTable", {{marker(0x6, 2) + "ab"}}, 8);
    add("DataRunningIntoTheOffsetTable", {{marker(0x4, 3) + "ab"}}, 8);
    add("AsciiRunningIntoTheOffsetTable", {{marker(0x5, 2) + "a"}}, 8);
    add("IntegerRunningIntoTheOffsetTable", {{bytes({0x11, 1})}}, 8);
    add("Utf16CountWhoseByteSizeOverflows", {{marker(0x6, 1ull << 63) + "ab"}});
    add("DataCountLargerThanTheFile", {{marker(0x4, UINT64_MAX) + "abc"}});
    add("CountThatIsNotAnInteger", {{bytes({0x5F, 0x23}) + be(0, 8)}}, 9);
    add("CountOf16Bytes", {{bytes({0x5F, 0x14}) + be(0, 16)}}, 9);
    add("CountRunningPastTheEnd", {{bytes({0x5F, 0x13, 0})}});

    add("IntegerOf32Bytes", {{bytes({0x15}) + be(0, 16) + be(0, 16)}}, 8);
    add("IntegerRunningPastTheEnd", {{array({1}), bytes({0x13, 1})}}, 10);
    add("Integer128AboveTheUnsignedRange", {{bytes({0x14}) + be(1, 8) + be(0, 8)}}, 8);
    add("Integer128BelowTheSignedRange", {{bytes({0x14}) + be(UINT64_MAX, 8) + be(5, 8)}}, 8);
    add("Integer128WithOnlyTheTopBitSet", {{bytes({0x14}) + be(1ull << 63, 8) + be(0, 8)}}, 8);
    add("RealOfOneByte", {{bytes({0x20, 1})}}, 8);
    add("RealRunningPastTheEnd", {{array({1}), bytes({0x23, 1})}}, 10);
    add("DateOfFourBytes", {{bytes({0x32, 0, 0, 0, 0})}}, 8);
    add("DateRunningPastTheEnd", {{array({1}), bytes({0x33, 1})}}, 10);
    add("UidOfNineBytes", {{bytes({0x88}) + be(1, 9)}}, 8);

    // 513 arrays, each holding the next.
    Bplist deep{{}, 2, 2};
    for (uint64_t i = 1; i <= uint64_t(kMaxNestingDepth); ++i)
        deep.objects.push_back(array({i}, 2));
    deep.objects.push_back(array({}));
    add("NestingDeeperThan512", deep, -1, Error::Kind::TooDeep);

    // A shared array referenced 14 times, nested 40 levels: 14^40 values if it were expanded.
    Bplist bomb;
    for (uint64_t n = 1; n <= 40; ++n)
        bomb.objects.push_back(array({n, n, n, n, n, n, n, n, n, n, n, n, n, n}));
    bomb.objects.push_back(ascii("boom"));
    add("SharedArrayBomb", bomb);
    // The same with dictionaries, whose keys are shared strings too.
    Bplist dictBomb{{ascii("k")}};
    for (uint64_t i = 1; i <= 40; ++i)
        dictBomb.objects.push_back(dictionary({0, 0, 0, 0}, {i + 1, i + 1, i + 1, i + 1}));
    dictBomb.objects.push_back(array({}));
    dictBomb.top = 1;
    add("SharedDictionaryBomb", dictBomb);
    return cases;
}

} // namespace

TEST(BinaryReader, RefusesMalformedAndHostileFilesNamingTheFaultyByte) {
    for (const BadBinary& c : badBinaries()) {
        auto r = readBinary(c.bytes);
        ASSERT_FALSE(r.ok()) << c.name << " read as " << ::testing::PrintToString(*r);
        EXPECT_EQ(r.error().kind, c.kind) << c.name << ": " << r.error().message;
        EXPECT_NE(r.error().message.find(c.says), std::string::npos) << c.name << ": " << r.error().message;
        EXPECT_EQ(r.error().offset, c.offset < 0 ? r.error().offset : c.offset)
            << c.name << ": " << r.error().message;
    }
}

// Every truncation must be refused; a changed byte may read or not, but must neither crash nor hang.
TEST(BinaryReader, RefusesEveryTruncationAndSurvivesEverySingleByteChange) {
    std::string file = writeBinary(dict({{"key", arr({"text", integer(300), Value(1.5), data({1, 2, 3})})},
                                         {"uni", "\xE2\x98\x83"},
                                         {"when", Value(Date{1})},
                                         {"c", dict({{"b", Value(Uid{2})}, {"t", Value(true)}})}}))
                           .value();
    ASSERT_TRUE(readBinary(file).ok());
    for (size_t n = 0; n < file.size(); ++n)
        EXPECT_FALSE(readBinary(std::string_view(file).substr(0, n)).ok()) << n << " bytes";
    for (size_t at = 0; at < file.size(); ++at) {
        for (int b : {0x00, 0x01, 0x0F, 0x7F, 0x80, 0xAF, 0xD1, 0xFF}) {
            std::string bent = file;
            bent[at] = char(b);
            (void)readBinary(bent);
        }
    }
}

// Encodings this writer never uses: narrow unsigned and 16-byte negative integers, 4-byte reals, Latin-1 in
// an ASCII string, lone UTF-16 surrogates, false.
TEST(BinaryReader, ReadsEveryWidthAndEncodingOfScalars) {
    Bplist b{
        {array({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), bytes({0x10, 0xFF}),
         bytes({0x11, 0xFF, 0xFE}), bytes({0x12}) + be(0xFFFFFFFF, 4), bytes({0x13}) + be(UINT64_MAX, 8),
         bytes({0x14}) + be(0, 8) + be(UINT64_MAX, 8), bytes({0x14}) + be(UINT64_MAX, 8) + be(1ull << 63, 8),
         bytes({0x14}) + be(UINT64_MAX, 8) + be(UINT64_MAX, 8),
         marker(0x6, 4) + bytes({0xD8, 0x3D, 0xDE, 0x00, 0xD8, 0x00, 0x00, 0x41}), // U+1F600, lone D800, A
         marker(0x6, 1) + bytes({0xDC, 0x00}), bytes({0x52, 'c', 0xE9}), bytes({0x22}) + be(0x3FC00000, 4),
         bytes({0x23}) + be(0xC004000000000000ull, 8), bytes({0x33}) + be(0x41C5C858B8000000ull, 8),
         bytes({0x87}) + be(UINT64_MAX, 8), bytes({0x08})}};
    auto r = readBinary(b.build());
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, arr({integer(255), integer(0xFFFE), integer(0xFFFFFFFF), integer(-1),
                       Value::unsignedInteger(UINT64_MAX), integer(INT64_MIN), integer(-1),
                       "\xF0\x9F\x98\x80\xED\xA0\x80"
                       "A",
                       "\xED\xB0\x80", "c\xC3\xA9", Value(1.5), Value(-2.5), Value(Date{730902896}),
                       Value(Uid{UINT64_MAX}), Value(false)}));
}

TEST(BinaryReader, ReadsSharedObjectsAsCopiesAndKeepsDuplicateKeys) {
    // The same string object is key, value and array entry; sharing is not a cycle.
    auto r = readBinary(Bplist{{dictionary({1, 1}, {2, 2}), ascii("k"), array({1, 1})}}.build());
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, dict({{"k", arr({"k", "k"})}, {"k", arr({"k", "k"})}}));
    // Modest sharing stays within the reader's budget: 2000 references to one string of 100 bytes.
    std::string refsToOne;
    for (int i = 0; i < 2000; ++i)
        refsToOne += be(1, 2);
    r = readBinary(Bplist{{marker(0xA, 2000) + refsToOne, ascii(std::string(100, 'x'))}, 2, 2}.build());
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, Value(Value::Array(2000, Value(std::string(100, 'x')))));
}

// Some writers put UTF-8 in a string marked ASCII. Bytes that are not strict UTF-8 (an encoded surrogate, an
// overlong "/") are Latin-1 characters. Either is written back as the standard UTF-16 string.
TEST(BinaryReader, ReadsAStringMarkedAsciiAsUtf8OrLatin1AndWritesItBackAsUtf16) {
    const std::string utf8 = "caf\xC3\xA9", latin1 = "\xC3\xAD\xC2\xA0\xC2\x80\xC3\x80\xC2\xAF";
    auto r = readBinary(Bplist{{array({1, 2}), ascii(utf8), ascii("\xED\xA0\x80\xC0\xAF")}}.build());
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_EQ(*r, arr({utf8, latin1}));
    EXPECT_EQ(writeBinary(*r).value(), Bplist({array({1, 2}), marker(0x6, 4) + utf16(utf8, true),
                                               marker(0x6, 5) + utf16(latin1, true)})
                                           .build());
}
