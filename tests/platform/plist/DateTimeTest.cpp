#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>

#include "platform/plist/DateTime.h"

using namespace plist::datetime;

namespace {
constexpr double kYear1 = -63113904000.0;         // 0001-01-01T00:00:00Z
constexpr double kLastIsoSecond = 252423993599.0; // 9999-12-31T23:59:59Z
} // namespace

TEST(DateTime, ReadsIsoTextAsSecondsFrom2001) {
    struct Case {
        const char* text;
        double seconds;
    } cases[] = {
        {"2001-01-01T00:00:00Z", 0},
        {"1970-01-01T00:00:00Z", -978307200},
        {"2000-02-29T00:00:00Z", -26524800},
        {"1900-03-01T00:00:00Z", -3182198400},
        {"2024-02-29T12:34:56Z", 730902896},
        {"0001-01-01T00:00:00Z", kYear1},
        {"9999-12-31T23:59:59Z", kLastIsoSecond},
        {"  2001-01-01T00:00:00Z\n", 0},
        // Trailing fields may be left off from the month on.
        {"2001-05Z", 10368000},
        {"2001Z", 0},
        {"2001-05-01T00Z", 10368000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIso8601(c.text), c.seconds) << c.text;
}

TEST(DateTime, RefusesIsoTextWithFieldsOutOfRangeOrOtherText) {
    for (const char* text :
         {"2001-13-01T00:00:00Z", "2001-00-01T00:00:00Z", "2001-02-29T00:00:00Z", "1900-02-29T00:00:00Z",
          "2001-04-31T00:00:00Z", "2001-01-01T24:00:00Z", "2001-01-01T00:60:00Z", "2001-01-01T00:00:60Z",
          "0000-01-01T00:00:00Z", "2001-01-01T00:00:00", "2001-01-01T00:00:00z", "2001-01-01 00:00:00Z",
          "2001-1-01T00:00:00Z", "2001-01-01T00:00:00.5Z", "2001-01-01T00:00:00Z junk", "yesterday", "", "Z"})
        EXPECT_FALSE(parseIso8601(text).has_value()) << '"' << text << '"';
}

TEST(DateTime, CalendarFieldsAndSecondsConvertBothWaysAcrossAllYears) {
    // A step that is prime lands on every time of day and every day of the month over the years.
    for (double s = kYear1; s <= kLastIsoSecond; s += 9999991.0 * 7) {
        auto secs = static_cast<int64_t>(s);
        Civil c = civilFromSeconds(secs);
        ASSERT_EQ(secondsFromCivil(c), secs);
        auto text = formatIso8601(s);
        ASSERT_TRUE(text.has_value());
        ASSERT_EQ(parseIso8601(*text), s) << *text;
    }
}

TEST(DateTime, ExactFormReadsBackEveryDateExactly) {
    // clang-format off
    const double cases[] = {0, 0.25, 1e-7, 5e-324, 730902896.123456, -0.25, -1.5, -978307200.001, kYear1,
                            kYear1 - 0.5, kLastIsoSecond + 0.5, kLastIsoSecond + 1, -1e300, 1e300,
                            std::numeric_limits<double>::max(), HUGE_VAL, -HUGE_VAL};
    // clang-format on
    for (double s : cases) {
        std::string text = formatExact(s);
        auto back = parseExact(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(*back, s) << text << " reads as " << std::setprecision(17) << *back << ", not " << s;
    }
    EXPECT_EQ(formatExact(0.25), "2001-01-01T00:00:00.25Z");
    EXPECT_EQ(formatExact(-1e300), "#-1e+300");
    EXPECT_EQ(formatExact(std::nan("")), "#nan");
    auto nan = parseExact("#nan");
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(*nan));
}

TEST(DateTime, ExactFormReadsBackFractionsOfTheLastSecondBefore2001) {
    for (double s : {-0.1, -1e-7, -1e-20, -5e-324}) {
        std::string text = formatExact(s);
        auto back = parseExact(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(*back, s) << text << " reads as " << std::setprecision(17) << *back << ", not " << s;
    }
}

TEST(DateTime, ExactFormRefusesMalformedText) {
    for (const char* text : {"#", "#abc", "#1e", "2001-01-01T00:00:00.5", "2001-01-01T00:00:00.x5Z",
                             "2001-13-01T00:00:00.5Z", "yesterday"})
        EXPECT_FALSE(parseExact(text).has_value()) << '"' << text << '"';
}
