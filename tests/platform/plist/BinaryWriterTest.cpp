#include <gtest/gtest.h>

#include <cmath>

#include "PlistTestSupport.h"
#include "platform/plist/BinaryReader.h"
#include "platform/plist/BinaryWriter.h"

using namespace plist;
using namespace plist::test;

namespace {

struct Trailer {
    unsigned offsetSize = 0, refSize = 0;
    uint64_t count = 0, top = 0, tableOffset = 0;
};

uint64_t be(std::string_view s, size_t at, unsigned width) {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v = v << 8 | uint8_t(s[at + i]);
    return v;
}

Trailer trailerOf(std::string_view file) {
    size_t t = file.size() - 32;
    return {uint8_t(file[t + 6]), uint8_t(file[t + 7]), be(file, t + 8, 8), be(file, t + 16, 8),
            be(file, t + 24, 8)};
}

// The bytes of object n of a written file, up to the next object.
std::string_view objectBytes(std::string_view file, uint64_t n) {
    Trailer t = trailerOf(file);
    uint64_t at = be(file, t.tableOffset + n * t.offsetSize, t.offsetSize);
    uint64_t end = t.tableOffset;
    for (uint64_t k = 0; k < t.count; ++k) {
        uint64_t other = be(file, t.tableOffset + k * t.offsetSize, t.offsetSize);
        if (other > at && other < end) end = other;
    }
    return file.substr(at, end - at);
}

std::string write(const Value& v) {
    auto r = writeBinary(v);
    EXPECT_TRUE(r.ok()) << messageOf(r);
    return r.ok() ? *r : std::string();
}

Value roundTrip(const Value& v) {
    auto file = writeBinary(v);
    if (!file.ok()) return Value("write failed: " + file.error().message);
    auto back = readBinary(*file);
    if (!back.ok()) return Value("read failed: " + back.error().message);
    return *back;
}

} // namespace

TEST(BinaryWriter, WritesTheHeaderAndTheSmallestWidths) {
    std::string file = write(arr({integer(1), "a", Value(true)}));
    ASSERT_GE(file.size(), 40u);
    EXPECT_EQ(file.substr(0, 8), "bplist00");
    Trailer t = trailerOf(file);
    EXPECT_EQ(t.offsetSize, 1u);
    EXPECT_EQ(t.refSize, 1u);
    EXPECT_EQ(t.count, 4u);
    EXPECT_EQ(t.top, 0u);
    EXPECT_EQ(t.tableOffset + t.count * t.offsetSize + 32, file.size());
    EXPECT_EQ(objectBytes(file, 0).substr(0, 1), "\xA3");
}

TEST(BinaryWriter, WidensReferencesAndOffsetsOnlyWhenNeeded) {
    Value::Array many;
    for (int i = 0; i < 300; ++i)
        many.push_back(integer(i + 1000));
    std::string file = write(Value(many));
    Trailer t = trailerOf(file);
    EXPECT_EQ(t.count, 301u);
    EXPECT_EQ(t.refSize, 2u);
    EXPECT_EQ(t.offsetSize, 2u);

    // 256 objects are numbered 0 to 255: one byte still holds every reference.
    many.resize(255);
    EXPECT_EQ(trailerOf(write(Value(many))).refSize, 1u);

    std::string big = write(arr({Value(Data(70000, 0x5A)), integer(1)}));
    t = trailerOf(big);
    EXPECT_EQ(t.refSize, 1u);
    EXPECT_EQ(t.offsetSize, 4u);
}

TEST(BinaryWriter, WritesIntegersInTheSmallestWidthAndHugeOnesIn16Bytes) {
    struct Case {
        Value value;
        std::string bytes;
    } cases[] = {
        {integer(0), std::string("\x10\x00", 2)},
        {integer(255), "\x10\xFF"},
        {integer(256), std::string("\x11\x01\x00", 3)},
        {integer(65536), std::string("\x12\x00\x01\x00\x00", 5)},
        {integer(0x100000000), std::string("\x13\x00\x00\x00\x01\x00\x00\x00\x00", 9)},
        {integer(-1), "\x13\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
        {Value::unsignedInteger(UINT64_MAX),
         std::string("\x14\0\0\0\0\0\0\0\0", 9) + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
    };
    for (const auto& c : cases) {
        std::string file = write(arr({c.value}));
        EXPECT_EQ(objectBytes(file, 1), c.bytes) << c.value.integer().toString();
        EXPECT_EQ(roundTrip(c.value), c.value) << c.value.integer().toString();
    }
}

TEST(BinaryWriter, WritesAsciiStringsAsBytesAndOthersAsUtf16) {
    std::string file = write(arr({"abc", "\xC3\xA9t\xC3\xA9", "\xF0\x9F\x98\x80", std::string(20, 'x')}));
    EXPECT_EQ(objectBytes(file, 1), "\x53"
                                    "abc");
    EXPECT_EQ(objectBytes(file, 2), std::string("\x63\x00\xE9\x00t\x00\xE9", 7));
    EXPECT_EQ(objectBytes(file, 3), std::string("\x62\xD8\x3D\xDE\x00", 5));
    EXPECT_EQ(objectBytes(file, 4), "\x5F\x10\x14" + std::string(20, 'x'));
}

TEST(BinaryWriter, KeepsLoneSurrogates) {
    for (std::string s : {"\xED\xA0\x80", "a\xED\xBF\xBF", "\xED\xB0\x80\xF0\x9F\x98\x80\xED\xA0\x80"}) {
        EXPECT_EQ(roundTrip(Value(s)), Value(s));
        EXPECT_EQ(roundTrip(dict({{s, Value(s)}})), dict({{s, Value(s)}}));
    }
    EXPECT_EQ(objectBytes(write(arr({"\xED\xA0\x80"})), 1), std::string("\x61\xD8\x00", 3));
}

TEST(BinaryWriter, StoresEqualScalarsOnceAndKeepsDifferentTypesApart) {
    Value::Array same(100, Value("the same text"));
    EXPECT_EQ(trailerOf(write(Value(same))).count, 2u);

    Value mixed = arr({integer(1), Value(1.0), Value(true), "1", data({'1'}), Value(Date{1}), Value(Uid{1}),
                       integer(-1), Value::unsignedInteger(UINT64_MAX), Value(0.0), Value(-0.0)});
    std::string file = write(mixed);
    EXPECT_EQ(trailerOf(file).count, 12u);
    auto back = readBinary(file);
    ASSERT_TRUE(back.ok()) << messageOf(back);
    EXPECT_EQ(*back, mixed);
    EXPECT_FALSE(std::signbit(back->array()[9].real()));
    EXPECT_TRUE(std::signbit(back->array()[10].real()));
}

TEST(BinaryWriter, KeepsDuplicateKeysAndOrder) {
    Value d = dict({{"z", integer(1)}, {"a", integer(2)}, {"z", integer(3)}, {"m", dict({})}});
    EXPECT_EQ(roundTrip(d), d);
}

TEST(BinaryWriter, WritesCfUidDictionariesAsUids) {
    Value archive =
        dict({{"$top", dict({{"root", dict({{"CF$UID", integer(1)}})}})},
              {"$objects", arr({"$null", dict({{"CF$UID", Value::unsignedInteger(UINT64_MAX)}})})}});
    EXPECT_EQ(roundTrip(archive), dict({{"$top", dict({{"root", Value(Uid{1})}})},
                                        {"$objects", arr({"$null", Value(Uid{UINT64_MAX})})}}));
    EXPECT_EQ(objectBytes(write(arr({dict({{"CF$UID", integer(300)}})})), 1), "\x81\x01\x2C");
}

TEST(BinaryWriter, LeavesOtherDictionariesWithACfUidKeyAlone) {
    Value cases[] = {
        dict({{"CF$UID", integer(-1)}}), dict({{"CF$UID", "1"}}),
        dict({{"CF$UID", Value(1.0)}}),  dict({{"CF$UID", integer(1)}, {"other", integer(2)}}),
        dict({{"cf$uid", integer(1)}}),
    };
    for (const Value& v : cases)
        EXPECT_EQ(roundTrip(v), v);
}

TEST(BinaryWriter, WritesNestingUpTo512LevelsAndRefusesDeeper) {
    EXPECT_EQ(roundTrip(nestedArrays(kMaxNestingDepth)), nestedArrays(kMaxNestingDepth));
    auto deep = writeBinary(nestedArrays(kMaxNestingDepth + 1));
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error().kind, Error::Kind::TooDeep);
}

TEST(BinaryWriter, KeepsEveryTypeThroughARoundTrip) {
    double nan = std::nan("");
    Value v = arr({"text", "\xE2\x98\x83 \xF0\x9F\x98\x80", "", integer(-42), Value(0.1 + 0.2),
                   Value(-HUGE_VAL), Value(nan), Value(true), Value(false), Value(Date{730902896.25}),
                   Value(Date{nan}), Value(Date{-1e300}), Value(Data(300, 0xAB)), Value(Data()),
                   Value(Uid{42}), dict({{"a", arr({arr({}), dict({}), arr({arr({"deep"})})})}})});
    EXPECT_EQ(roundTrip(v), v);
}
