#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "platform/plist/Scalars.h"

using namespace plist;
using plist::scalars::formatReal;
using plist::scalars::parseInteger;
using plist::scalars::parseReal;

TEST(Scalars, ReadsIntegersOverTheWholeRangeInDecimalAndHex) {
    struct Case {
        const char* text;
        Integer expected;
    } cases[] = {
        {"0", Integer::fromSigned(0)},
        {"-0", Integer::fromSigned(0)},
        {"+17", Integer::fromSigned(17)},
        {" \t42\n", Integer::fromSigned(42)},
        {"-9223372036854775808", Integer::fromSigned(INT64_MIN)},
        {"9223372036854775807", Integer::fromSigned(INT64_MAX)},
        {"9223372036854775808", Integer::fromUnsigned(uint64_t(INT64_MAX) + 1)},
        {"18446744073709551615", Integer::fromUnsigned(UINT64_MAX)},
        {"0x1F", Integer::fromSigned(31)},
        {"0XfF", Integer::fromSigned(255)},
        {"-0x10", Integer::fromSigned(-16)},
        {"0xFFFFFFFFFFFFFFFF", Integer::fromUnsigned(UINT64_MAX)},
        {"-0x8000000000000000", Integer::fromSigned(INT64_MIN)},
    };
    for (const auto& c : cases) {
        auto v = parseInteger(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.expected) << c.text;
    }
}

TEST(Scalars, RefusesIntegersOutsideTheRangeAndOtherText) {
    for (const char* text :
         {"18446744073709551616", "-9223372036854775809", "0x10000000000000000", "-0x8000000000000001", "",
          " ", "-", "0x", "1.5", "1e3", "12a", "--1", "+-1", "0x-5", "1 2", "one", "0b101"})
        EXPECT_FALSE(parseInteger(text).has_value()) << '"' << text << '"';
}

TEST(Scalars, ReadsBackEveryFormattedDouble) {
    std::mt19937_64 random(20240229);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isnan(d)) continue;
        auto back = parseReal(formatReal(d));
        ASSERT_TRUE(back.has_value()) << formatReal(d);
        uint64_t backBits;
        std::memcpy(&backBits, &*back, sizeof backBits);
        ASSERT_EQ(backBits, bits) << formatReal(d);
    }
}

TEST(Scalars, ReadsInfinitiesAndNaNInAnyCase) {
    for (const char* text : {"inf", "INF", "+inf", "infinity", "+Infinity", "+INFINITY"})
        EXPECT_EQ(parseReal(text), HUGE_VAL) << text;
    for (const char* text : {"-inf", "-infinity", "-Infinity"})
        EXPECT_EQ(parseReal(text), -HUGE_VAL) << text;
    for (const char* text : {"nan", "NaN", "NAN", "-nan"}) {
        auto v = parseReal(text);
        ASSERT_TRUE(v.has_value()) << text;
        EXPECT_TRUE(std::isnan(*v)) << text;
    }
}

TEST(Scalars, ReadsDecimalRealsAndRefusesOtherText) {
    EXPECT_EQ(parseReal(" 1.5\n"), 1.5);
    EXPECT_EQ(parseReal("-2e3"), -2000.0);
    EXPECT_EQ(parseReal("+0.25"), 0.25);
    EXPECT_EQ(parseReal("7"), 7.0);
    EXPECT_EQ(parseReal("1e999"), HUGE_VAL);
    EXPECT_TRUE(std::signbit(*parseReal("-0")));
    for (const char* text :
         {"", "abc", "1.5.2", "1e", "--1", "+-1", "0x10", "1,5", "infinityx", "nanx", "1 2"})
        EXPECT_FALSE(parseReal(text).has_value()) << '"' << text << '"';
}
