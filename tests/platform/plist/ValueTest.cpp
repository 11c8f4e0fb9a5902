#include <gtest/gtest.h>

#include <cmath>

#include "PlistTestSupport.h"

using namespace plist;
using namespace plist::test;

// Integers of the same bits but another range differ; values of different types never compare equal; order
// counts in dictionaries; NaN equals itself so that round trips can be checked.
TEST(Value, ComparesIntegersByRangeOtherValuesByTypeAndOrderAndNaNAsEqual) {
    EXPECT_NE(integer(-1), Value::unsignedInteger(UINT64_MAX));
    EXPECT_EQ(integer(7), Value::unsignedInteger(7));
    const Value different[] = {integer(1),  Value(1.0),    Value(true),   "1",
                               data({'1'}), Value(Uid{1}), Value(Date{1})};
    for (const Value& x : different)
        for (const Value& y : different)
            EXPECT_EQ(x == y, &x == &y)
                << ::testing::PrintToString(x) << " and " << ::testing::PrintToString(y);
    EXPECT_NE(dict({{"a", integer(1)}, {"b", arr({"x"})}}), dict({{"b", arr({"x"})}, {"a", integer(1)}}));
    EXPECT_NE(dict({{"b", arr({"x"})}}), dict({{"b", arr({"y"})}}));
    EXPECT_EQ(Value(std::nan("")), Value(std::nan("")));
    EXPECT_EQ(Value(Date{std::nan("")}), Value(Date{std::nan("")}));
    EXPECT_NE(Value(std::nan("")), Value(0.0));
}
