#include <cmath>

#include "PlistTestSupport.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/BinaryWriter.h"

using namespace plist;
using namespace plist::test;

namespace {

uint64_t be(std::string_view s, size_t at, unsigned width) {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v = v << 8 | uint8_t(s[at + i]);
    return v;
}

// A written file with the fields of its trailer; a failed write throws, which fails the test.
struct File {
    explicit File(const Value& v) : bytes(writeBinary(v).value()) {}
    std::string bytes;
    size_t t = bytes.size() - 32;
    unsigned offsetSize = uint8_t(bytes[t + 6]), refSize = uint8_t(bytes[t + 7]);
    uint64_t count = be(bytes, t + 8, 8), top = be(bytes, t + 16, 8), table = be(bytes, t + 24, 8);

    // The bytes of object n, up to the next object.
    std::string object(uint64_t n) const {
        uint64_t at = be(bytes, table + n * offsetSize, offsetSize), end = table;
        for (uint64_t k = 0; k < count; ++k)
            if (uint64_t other = be(bytes, table + k * offsetSize, offsetSize); other > at && other < end)
                end = other;
        return bytes.substr(at, end - at);
    }
};

Value roundTrip(const Value& v) {
    return valueOf(readBinary(File(v).bytes));
}

} // namespace

// 256 objects are numbered 0 to 255: one byte still holds every reference.
TEST(BinaryWriter, WritesTheHeaderAndWidensReferencesAndOffsetsOnlyWhenNeeded) {
    File f(arr({integer(1), "a", Value(true)}));
    EXPECT_EQ(f.bytes.substr(0, 8), "bplist00");
    EXPECT_EQ(std::tuple(f.offsetSize, f.refSize, f.count, f.top), std::tuple(1u, 1u, 4ull, 0ull));
    EXPECT_EQ(f.table + f.count * f.offsetSize + 32, f.bytes.size());
    EXPECT_EQ(f.object(0).substr(0, 1), "\xA3");
    Value::Array many;
    for (int i = 0; i < 300; ++i)
        many.push_back(integer(i + 1000));
    File wide{Value(many)}, big{arr({Value(Data(70000, 0x5A)), integer(1)})};
    EXPECT_EQ(std::pair(wide.refSize, wide.offsetSize), std::pair(2u, 2u));
    EXPECT_EQ(std::pair(big.refSize, big.offsetSize), std::pair(1u, 4u));
    many.resize(255);
    EXPECT_EQ(File(Value(many)).refSize, 1u);
}

// Integers in the smallest width, huge ones in 16 bytes; ASCII strings as bytes, others as UTF-16 keeping
// lone surrogates; lengths of 15 and more in an integer after the marker; a {"CF$UID": n} dictionary as a
// uid.
TEST(BinaryWriter, WritesEachScalarInItsSmallestForm) {
    using S = std::string;
    const std::pair<Value, std::string> cases[] = {
        {integer(0), S("\x10\x00", 2)},
        {integer(255), "\x10\xFF"},
        {integer(256), S("\x11\x01\x00", 3)},
        {integer(65536), S("\x12\x00\x01\x00\x00", 5)},
        {integer(0x100000000), S("\x13\x00\x00\x00\x01\x00\x00\x00\x00", 9)},
        {integer(-1), "\x13\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
        {Value::unsignedInteger(UINT64_MAX), S("\x14\0\0\0\0\0\0\0\0", 9) + S(8, '\xFF')},
        {"abc", "\x53"
                "abc"},
        {"\xC3\xA9t\xC3\xA9", S("\x63\x00\xE9\x00t\x00\xE9", 7)},
        {"\xF0\x9F\x98\x80", S("\x62\xD8\x3D\xDE\x00", 5)},
        {S(20, 'x'), "\x5F\x10\x14" + S(20, 'x')},
        {Value(Data(15, 7)), "\x4F\x10\x0F" + S(15, 7)},
        {"\xED\xA0\x80", S("\x61\xD8\x00", 3)},
        {dict({{"CF$UID", integer(300)}}), "\x81\x01\x2C"}};
    for (const auto& [value, bytes] : cases) {
        EXPECT_EQ(File(arr({value})).object(1), bytes) << ::testing::PrintToString(value);
        EXPECT_EQ(roundTrip(value), value.type() == Value::Type::Dictionary ? Value(Uid{300}) : value);
    }
}

TEST(BinaryWriter, WritesCfUidDictionariesAsUidsAndLeavesOtherDictionariesAlone) {
    Value archive =
        dict({{"$top", dict({{"root", dict({{"CF$UID", integer(1)}})}})},
              {"$objects", arr({"$null", dict({{"CF$UID", Value::unsignedInteger(UINT64_MAX)}})})}});
    EXPECT_EQ(roundTrip(archive), dict({{"$top", dict({{"root", Value(Uid{1})}})},
                                        {"$objects", arr({"$null", Value(Uid{UINT64_MAX})})}}));
    for (const Value& v :
         {dict({{"CF$UID", integer(-1)}}), dict({{"CF$UID", "1"}}), dict({{"CF$UID", Value(1.0)}}),
          dict({{"CF$UID", integer(1)}, {"other", integer(2)}}), dict({{"cf$uid", integer(1)}})})
        EXPECT_EQ(roundTrip(v), v);
}

// Equal scalars are stored once, yet values of other types or another sign of zero stay apart; the model's
// random trees cover the other values.
TEST(BinaryWriter, KeepsUidsDuplicateKeysSharedScalarsAndNestingUpTo512LevelsThroughARoundTrip) {
    Value v = arr({Value(Uid{42}), integer(1), Value(1.0), Value(true), "1", data({'1'}), Value(Date{1}),
                   Value(Uid{1}), Value(0.0), Value(-0.0),
                   dict({{"z", integer(1)}, {"a", integer(2)}, {"z", integer(3)}})});
    EXPECT_EQ(File(v).count, 16u); // the dictionary's integer 1 is the array's
    EXPECT_EQ(roundTrip(v), v);
    EXPECT_TRUE(std::signbit(roundTrip(v).array().at(9).real()));
    EXPECT_EQ(File(Value(Value::Array(100, Value("the same text")))).count, 2u);
    EXPECT_EQ(roundTrip(nestedArrays(kMaxNestingDepth)), nestedArrays(kMaxNestingDepth));
    EXPECT_EQ(kindOf(writeBinary(nestedArrays(kMaxNestingDepth + 1))), Error::Kind::TooDeep);
}
