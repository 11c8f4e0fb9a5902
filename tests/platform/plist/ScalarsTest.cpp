#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "platform/plist/Scalars.h"

using namespace plist;
using namespace plist::scalars;

TEST(Scalars, ReadsIntegersOverTheWholeRangeInDecimalAndHexAndRefusesOtherText) {
    const Integer min = Integer::fromSigned(INT64_MIN), max = Integer::fromUnsigned(UINT64_MAX);
    const std::pair<const char*, Integer> cases[] = {
        {" \t-9223372036854775808\n", min},
        {"9223372036854775808", Integer::fromUnsigned(1ull << 63)},
        {"+18446744073709551615", max},
        {"0XfFFFFFFFFFFFFFFF", max},
        {"-0x8000000000000000", min}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseInteger(text), expected) << text;
    for (const char* text : {"18446744073709551616", "-9223372036854775809", "0x10000000000000000",
                             "-0x8000000000000001", "", "0x", "1.5", "12a", "--1", "0x-5", "1 2"})
        EXPECT_FALSE(parseInteger(text).has_value()) << '"' << text << '"';
}

TEST(Scalars, ReadsBackEveryFormattedDoubleAndRealsInAnyCase) {
    std::mt19937_64 random(20240229);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random(), backBits;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isnan(d)) continue;
        auto back = parseReal(formatReal(d));
        ASSERT_TRUE(back.has_value()) << formatReal(d);
        std::memcpy(&backBits, &*back, sizeof backBits);
        ASSERT_EQ(backBits, bits) << formatReal(d);
    }
    EXPECT_EQ(parseReal(" -2e3\n"), -2000.0);
    EXPECT_EQ(parseReal("+Infinity"), HUGE_VAL);
    EXPECT_EQ(parseReal("-INF"), -HUGE_VAL);
    // Text past the range names the infinity or the zero it rounds to.
    EXPECT_EQ(std::pair(parseReal("1e999"), parseReal("-1e-999")),
              std::pair(std::optional(HUGE_VAL), std::optional(-0.0)));
    EXPECT_TRUE(std::isnan(parseReal("NaN").value()));
    for (const char* text : {"", "1.5.2", "1e", "0x10", "1,5", "infinityx", "nanx"})
        EXPECT_FALSE(parseReal(text).has_value()) << '"' << text << '"';
}
