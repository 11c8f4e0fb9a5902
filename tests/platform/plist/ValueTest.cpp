#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PlistTestSupport.h"
#include "platform/plist/Value.h"

using namespace plist;
using namespace plist::test;

TEST(Integer, CoversTheSignedAndUnsignedRangesWithoutConfusingThem) {
    Integer minusOne = Integer::fromSigned(-1);
    Integer max = Integer::fromUnsigned(std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(minusOne.bits(), max.bits());
    EXPECT_NE(minusOne, max);
    EXPECT_TRUE(minusOne.isNegative());
    EXPECT_FALSE(max.isNegative());
    EXPECT_TRUE(max.needsUnsigned());
    EXPECT_FALSE(Integer::fromUnsigned(uint64_t(INT64_MAX)).needsUnsigned());
    EXPECT_TRUE(Integer::fromUnsigned(uint64_t(INT64_MAX) + 1).needsUnsigned());
    EXPECT_EQ(Integer::fromSigned(7), Integer::fromUnsigned(7));
    EXPECT_EQ(Integer::fromSigned(0), Integer::fromUnsigned(0));
}

TEST(Value, ComparesDeeplyAndInOrder) {
    Value a = dict({{"a", integer(1)}, {"b", arr({"x", Value(true)})}});
    EXPECT_EQ(a, dict({{"a", integer(1)}, {"b", arr({"x", Value(true)})}}));
    EXPECT_NE(a, dict({{"b", arr({"x", Value(true)})}, {"a", integer(1)}}));
    EXPECT_NE(a, dict({{"a", integer(1)}, {"b", arr({"x", Value(false)})}}));
    // Values of different types never compare equal, even when they hold "the same" number.
    EXPECT_NE(integer(1), Value(1.0));
    EXPECT_NE(integer(1), Value(true));
    EXPECT_NE(Value("1"), data({'1'}));
    EXPECT_NE(Value(Uid{1}), integer(1));
    EXPECT_NE(Value(Date{1}), Value(1.0));
}

TEST(Value, TreatsNaNAsEqualToItselfSoRoundTripsCanBeChecked) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Value(nan), Value(nan));
    EXPECT_EQ(Value(Date{nan}), Value(Date{nan}));
    EXPECT_NE(Value(nan), Value(0.0));
    EXPECT_NE(Value(Date{nan}), Value(Date{0}));
}
