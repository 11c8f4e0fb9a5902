#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "model/ValueText.h"

using namespace model;

namespace {

Number integer(int64_t v) {
    return Number::fromInteger(plist::Integer::fromSigned(v));
}
Number real(double d) {
    return Number::fromReal(d);
}

// A number's kind and exact value as text.
std::string shown(const Number& n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "real %a", n.real);
    return n.isReal ? buf : "integer " + n.integer.toString();
}

// Sets TZ for the scope; the tests run without one.
struct TimeZone {
    explicit TimeZone(const char* tz) {
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TimeZone() {
        ::unsetenv("TZ");
        ::tzset();
    }
};

} // namespace

// Number text is lossless and shows its kind; a type change reads text as the number it starts with, the
// value field only text that is one number as a whole.
TEST(ValueText, NumberTextIsLosslessAndShowsItsKindAndTypedTextReadsLenientlyOrStrictly) {
    const Number unsignedMax = Number::fromInteger(plist::Integer::fromUnsigned(UINT64_MAX));
    // clang-format off
    const std::pair<Number, const char*> forms[] = {
        {real(2.0), "2.0"}, {real(-2.0), "-2.0"}, {real(0.1 + 0.2), "0.30000000000000004"},
        {real(1e20), "1e+20"}, {real(5e-324), "5e-324"}, {real(HUGE_VAL), "inf"}, {real(-HUGE_VAL), "-inf"},
        {integer(0), "0"}, {integer(INT64_MIN), "-9223372036854775808"},
        {unsignedMax, "18446744073709551615"}};
    const std::pair<const char*, Number> typed[] = {
        {"2.5E-3", real(2.5e-3)}, {"-.5e1", real(-5.0)}, {"1e999", real(HUGE_VAL)},
        {" 3.25 apples", real(3.25)}, {"1.5e3x", real(1500.0)}, {"3 eggs", integer(3)},
        {"information", integer(0)}, {"  -12x", integer(-12)}, {"1e5x", integer(1)}, {"+7", integer(7)},
        {"", integer(0)}, {"-99999999999999999999", integer(INT64_MIN)}, {" 1e5\n", real(1e5)},
        {"+inf", real(HUGE_VAL)}, {" -Infinity", real(-HUGE_VAL)}, {"0x10", integer(0)},
        {"99999999999999999999", unsignedMax}, {"18446744073709551615", unsignedMax}};
    const std::pair<const char*, Number> typedStrictly[] = {
        {" 12\t", integer(12)}, {"+7", integer(7)}, {"0x10", integer(16)}, {"-0XfF", integer(-255)},
        {"0xffffffffffffffff", unsignedMax}, {"1.", real(1.0)}, {"-.5e1", real(-5.0)}, {"1e5", real(1e5)},
        {"1e-320", real(1e-320)}, {"+INF", real(HUGE_VAL)}, {"-Infinity", real(-HUGE_VAL)}};
    // clang-format on
    for (const auto& [n, text] : forms) {
        EXPECT_EQ(numberText(n), text);
        EXPECT_EQ(shown(numberWithText(text)), shown(n)) << text;
        EXPECT_EQ(shown(numberWithTypedText(text).value_or(integer(-1))), shown(n)) << text;
    }
    for (const auto& [text, expected] : typed)
        EXPECT_EQ(shown(numberWithText(text)), shown(expected)) << '"' << text << '"';
    for (const auto& [text, expected] : typedStrictly)
        EXPECT_EQ(shown(numberWithTypedText(text).value_or(integer(-1))), shown(expected))
            << '"' << text << '"';
    // clang-format off
    for (const char* text : {"", " ", "abc", "12abc", "1,5", "0x", "0x1g", "0x1.8", "--1", "0x-1", "1e", "e5", ".",
                             "in f", "nan1", "99999999999999999999", "-9223372036854775809",
                             "0x10000000000000000", "1e999", "1e-400"})
        EXPECT_FALSE(numberWithTypedText(text)) << '"' << text << '"';
    // clang-format on
    EXPECT_EQ(numberText(real(std::nan(""))), "nan");
    for (const char* text : {"nan", " NaN ", "-nan"}) {
        EXPECT_TRUE(numberWithText(text).isReal && std::isnan(numberWithText(text).real)) << text;
        EXPECT_TRUE(numberWithTypedText(text) && std::isnan(numberWithTypedText(text)->real)) << text;
    }
}

TEST(ValueText, BoolWithTextLooksAtTheFirstSignificantCharacter) {
    for (const char* t : {"yes", "YES", "True", "t", " t", "\ty", "-3", "+1", "10", "007", "9"})
        EXPECT_TRUE(boolWithText(t)) << '"' << t << '"';
    for (const char* t : {"0", "0.5", "", " ", "no", "false", "unknown data", "-0", "00", "+", "x1"})
        EXPECT_FALSE(boolWithText(t)) << '"' << t << '"';
}

TEST(ValueText, DatesShowAndReadInTheLocalTimeZoneIncludingTheSecondBeforeTheUnixEpoch) {
    // Local 2024-03-01 09:05:07 and 2023-07-15 23:59:58 are these seconds minus the zone's offset then.
    const double march = 730976707, july = 711158398;
    const std::tuple<const char*, double, double> zones[] = {{"UTC", 0, 0},
                                                             {"America/New_York", -5 * 3600, -4 * 3600},
                                                             {"Australia/Lord_Howe", 11 * 3600, 10.5 * 3600}};
    for (const auto& [tz, marchOffset, julyOffset] : zones) {
        TimeZone zone(tz);
        EXPECT_EQ(descriptionOfDate(plist::Date{march - marchOffset + 0.75}), "2024/03/01 9:05:07") << tz;
        EXPECT_EQ(dateWithDescription("2024/03/01 09:05:07"), plist::Date{march - marchOffset}) << tz;
        EXPECT_EQ(descriptionOfDate(plist::Date{july - julyOffset}), "2023/07/15 23:59:58") << tz;
        EXPECT_EQ(dateWithDescription("2023/07/15 23:59:58"), plist::Date{july - julyOffset}) << tz;
    }
    // mktime answers -1 both for an error and for 1969-12-31T23:59:59Z, a local date east of UTC.
    for (const char* tz : {"Asia/Kolkata", "Europe/Berlin", "America/New_York"}) {
        TimeZone zone(tz);
        plist::Date d{-978307201.0};
        EXPECT_EQ(dateWithDescription(descriptionOfDate(d)), d) << tz << ": " << descriptionOfDate(d);
    }
    TimeZone utc("UTC");
    EXPECT_EQ(descriptionOfDate(plist::Date{-0.5}), "2000/12/31 23:59:59");
    for (const char* bad : {"2024/3/01 9:05:07", "2024/02/30 9:05:07", "2024/03/01 24:00:00",
                            "2024/03/01 9:05", "2024/03/01 9:05:07 ", "2024-03-01 9:05:07", ""})
        EXPECT_FALSE(dateWithDescription(bad)) << bad;
}

TEST(ValueText, HexDataFormsReadAndRoundTrip) {
    EXPECT_EQ(dataWithOldHexString("<48656C6C 6f>"), Data({'H', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(dataWithNewHexString("{length = 5, bytes = 0x48656c6c6f}"), Data({'H', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(dataWithNewHexString("0x48 65 6C"), Data({'H', 'e', 'l'}));
    for (const char* bad : {"<4>", "<4g>", "48656c", "<48656c", "<48\t65>"})
        EXPECT_FALSE(dataWithOldHexString(bad)) << bad;
    for (const char* bad : {"0x4865..", "{length = 1, bytes = 48}", "0x4"})
        EXPECT_FALSE(dataWithNewHexString(bad)) << bad;
    EXPECT_EQ(descriptionOfData(Data{0, 1, 2, 3, 0xAB, 0xCD, 0xEF, 0xFF}), "<00010203 abcdefff>");
    for (size_t n : {0u, 1u, 4u, 5u, 256u}) {
        Data bytes(n);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = uint8_t(255 - i);
        EXPECT_EQ(dataWithOldHexString(descriptionOfData(bytes)), bytes) << n << " bytes";
    }
}

TEST(ValueText, ControlCharactersShowAsMarksOrEscapes) {
    EXPECT_EQ(withVisibleMarks("a\tb\nc\rd\x01"
                               "e\x7f"
                               "f\u0085g\u2028h\u2029i\u00e9\u21e5\x1f"),
              "a\u21e5b\u21b5c\u23ced\u2401e\u2421f\\u{85}g\u21b5h\u21b5i\u00e9\u21e5\u241f");
    EXPECT_EQ(visibleMark(1, false), "\\u{1}");
    EXPECT_EQ(visibleMark(U'\u00a0'), "");
}
