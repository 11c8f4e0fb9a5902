#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iomanip>
#include <limits>

#include "platform/plist/DateTime.h"

using namespace plist::datetime;

namespace {
constexpr double kYear1 = -63113904000.0;         // 0001-01-01T00:00:00Z
constexpr double kLastIsoSecond = 252423993599.0; // 9999-12-31T23:59:59Z
} // namespace

// Trailing fields may be left off from the month on; calendar fields and seconds convert both ways over all
// years, checked with a prime step that lands on every time of day and every day of the month.
TEST(DateTime, ReadsIsoTextAsSecondsFrom2001OverAllYearsAndRefusesOtherText) {
    // clang-format off
    const std::pair<const char*, double> cases[] = {
        {"1970-01-01T00:00:00Z", -978307200}, {"2000-02-29T00:00:00Z", -26524800},
        {"1900-03-01T00:00:00Z", -3182198400}, {"0001-01-01T00:00:00Z", kYear1},
        {"9999-12-31T23:59:59Z", kLastIsoSecond}, {"  2001-01-01T00:00:00Z\n", 0}, {"2001-05Z", 10368000},
        {"2001Z", 0}, {"2001-05-01T00Z", 10368000}};
    // clang-format on
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(parseIso8601(text), seconds) << text;
    for (const char* text :
         {"2001-13-01T00:00:00Z", "2001-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "2001-04-31T00:00:00Z",
          "2001-01-01T24:00:00Z", "2001-01-01T00:60:00Z", "2001-01-01T00:00:60Z", "0000-01-01T00:00:00Z",
          "2001-01-01T00:00:00", "2001-01-01T00:00:00z", "2001-01-01 00:00:00Z", "2001-1-01T00:00:00Z",
          "2001-01-01T00:00:00.5Z", "2001-01-01T00:00:00Z junk", ""})
        EXPECT_FALSE(parseIso8601(text).has_value()) << '"' << text << '"';
    for (double s = kYear1; s <= kLastIsoSecond; s += 9999991.0 * 7) {
        ASSERT_EQ(secondsFromCivil(civilFromSeconds(int64_t(s))), int64_t(s));
        ASSERT_EQ(parseIso8601(formatIso8601(s).value()), s) << *formatIso8601(s);
    }
}

// The fraction of the last four is rounded by the subtraction from the whole second, so they take the raw
// form.
TEST(DateTime, ExactFormReadsBackFractionsOfTheLastSecondBefore2001) {
    for (double s : {0.25, 5e-324, 730902896.123456, -1.5, kYear1 - 0.5, kLastIsoSecond + 1, -1e300,
                     std::numeric_limits<double>::max(), -HUGE_VAL, -0.1, -1e-7, -1e-20, -5e-324, -0.0}) {
        auto back = parseExact(formatExact(s));
        EXPECT_TRUE(back && std::bit_cast<uint64_t>(*back) == std::bit_cast<uint64_t>(s))
            << formatExact(s) << " reads as " << std::setprecision(17) << back.value_or(0);
    }
    EXPECT_EQ(formatExact(0.25), "2001-01-01T00:00:00.25Z");
    EXPECT_EQ(formatExact(std::nan("")), "#nan");
    EXPECT_TRUE(std::isnan(parseExact("#nan").value()));
    for (const char* text :
         {"#", "#1e", "2001-01-01T00:00:00.5", "2001-01-01T00:00:00.x5Z", "2001-13-01T00:00:00.5Z"})
        EXPECT_FALSE(parseExact(text).has_value()) << '"' << text << '"';
}
