#include "ValueText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/plist/DateTime.h"
#include "platform/plist/Text.h"

namespace model {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// White space as a number reading skips it: spaces, tabs and line ends.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

size_t skipSpace(std::string_view s, size_t i = 0) {
    while (i < s.size() && isSpace(s[i]))
        ++i;
    return i;
}

std::string_view trimmed(std::string_view s) {
    s.remove_prefix(skipSpace(s));
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Where a decimal real starting at i ends: sign, digits, ".", digits (the mantissa), then an exponent of
// "e" or "E", an optional sign and at least one digit, when there is one.
struct DecimalScan {
    size_t digits = 0; // mantissa digits
    size_t end = 0;    // past the exponent, or past the mantissa when there is none
    bool hasExponent = false;
};

DecimalScan scanDecimal(std::string_view s, size_t i) {
    DecimalScan r;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++r.digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++r.digits;
    }
    r.end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        size_t expDigits = 0;
        while (k < s.size() && isDigit(s[k]))
            ++k, ++expDigits;
        if (expDigits) r.end = k, r.hasExponent = true;
    }
    return r;
}

// True for "[+-]digits[.digits]e[+-]digits" (or ".digits" before the exponent) and nothing else.
bool isExponentDecimal(std::string_view s) {
    DecimalScan r = scanDecimal(s, 0);
    return r.digits > 0 && r.hasExponent && r.end == s.size();
}

// Takes an optional "+" or "-" off the front; true for "-".
bool takeSign(std::string_view& s) {
    if (s.empty() || (s[0] != '+' && s[0] != '-')) return false;
    const bool negative = s[0] == '-';
    s.remove_prefix(1);
    return negative;
}

// A decimal real as scanned by scanDecimal; past the range of a double (too large, or too small to be told
// from 0) it gives ±HUGE_VAL or ±0 and clears *fits.
double parseDouble(std::string_view s, bool* fits = nullptr) {
    const bool negative = takeSign(s);
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (fits) *fits = r.ec != std::errc::result_out_of_range;
    if (r.ec == std::errc::result_out_of_range) {
        // The exponent's sign says whether it is huge or tiny.
        size_t e = s.find_first_of("eE");
        v = (e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-') ? 0.0 : HUGE_VAL;
    }
    return negative ? -v : v;
}

bool equalsIgnoringCase(std::string_view s, std::string_view lower) {
    return s.size() == lower.size() && std::equal(s.begin(), s.end(), lower.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

// "inf", "infinity" or "nan" in any case after an optional sign.
std::optional<double> namedReal(std::string_view s) {
    const bool negative = takeSign(s);
    if (equalsIgnoringCase(s, "inf") || equalsIgnoringCase(s, "infinity"))
        return negative ? -HUGE_VAL : HUGE_VAL;
    if (equalsIgnoringCase(s, "nan")) return std::nan("");
    return std::nullopt;
}

// An integer from its sign and magnitude, or none outside -2^63 .. 2^64-1.
std::optional<Number> signedInteger(bool negative, uint64_t magnitude) {
    if (!negative) return Number::fromInteger(plist::Integer::fromUnsigned(magnitude));
    if (magnitude > uint64_t(INT64_MAX) + 1) return std::nullopt;
    return Number::fromInteger(plist::Integer::fromSigned(int64_t(0 - magnitude)));
}

} // namespace

std::string numberText(const Number& n) {
    if (!n.isReal) return n.integer.toString();
    double v = n.real;
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

Number numberWithText(std::string_view text) {
    const std::string_view t = trimmed(text);
    if (auto named = namedReal(t)) return Number::fromReal(*named);
    if (isExponentDecimal(t)) return Number::fromReal(parseDouble(t));
    if (t.find('.') != std::string_view::npos) {
        // The longest prefix that forms a decimal real: sign, digits, ".", digits, optional exponent.
        DecimalScan r = scanDecimal(t, 0);
        if (r.digits == 0) return Number::fromReal(0.0);
        return Number::fromReal(parseDouble(t.substr(0, r.end)));
    }
    std::string_view digits = t;
    const bool negative = takeSign(digits);
    uint64_t magnitude = 0;
    bool overflow = false;
    for (size_t i = 0; i < digits.size() && isDigit(digits[i]); ++i) {
        unsigned d = unsigned(digits[i] - '0');
        if (magnitude > (UINT64_MAX - d) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + d;
    }
    if (overflow) magnitude = UINT64_MAX;
    if (auto n = signedInteger(negative, magnitude)) return *n;
    return Number::fromInteger(plist::Integer::fromSigned(INT64_MIN));
}

std::optional<Number> numberWithTypedText(std::string_view text) {
    const std::string_view t = trimmed(text);
    if (auto named = namedReal(t)) return Number::fromReal(*named);
    std::string_view digits = t;
    const bool negative = takeSign(digits);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    // from_chars takes no sign of its own, so "--1" and "0x-1" stop at once.
    uint64_t magnitude = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (r.ptr == digits.data() + digits.size() && !digits.empty())
        return r.ec == std::errc() ? signedInteger(negative, magnitude) : std::nullopt;
    DecimalScan real = scanDecimal(t, 0);
    bool fits = true;
    if (base == 10 && real.digits > 0 && real.end == t.size()) {
        const double v = parseDouble(t, &fits);
        if (fits) return Number::fromReal(v);
    }
    return std::nullopt;
}

bool boolWithText(std::string_view text) {
    size_t i = skipSpace(text);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    if (i >= text.size()) return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string descriptionOfDate(plist::Date d) {
    double s = d.seconds;
    if (!std::isfinite(s) || std::fabs(s) > 6e16) return "?";
    time_t t = time_t(std::floor(s)) + plist::datetime::kUnixSecondsAt2001;
    struct tm tm {};
    tzset();
    if (!localtime_r(&t, &tm)) return "?";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld/%02d/%02d %d:%02d:%02d", static_cast<long long>(tm.tm_year) + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::optional<plist::Date> dateWithDescription(std::string_view s) {
    // yyyy/MM/dd H:mm:ss: four-digit year, two-digit month and day, one- or two-digit hour.
    auto num = [&](size_t& i, size_t minDigits, size_t maxDigits, int& out) {
        size_t n = 0;
        int v = 0;
        while (i < s.size() && n < maxDigits && isDigit(s[i]))
            v = v * 10 + (s[i++] - '0'), ++n;
        out = v;
        return n >= minDigits;
    };
    auto sep = [&](size_t& i, char c) { return i < s.size() && s[i++] == c; };
    size_t i = 0;
    int year, month, day, hour, minute, second;
    if (!num(i, 4, 4, year) || !sep(i, '/') || !num(i, 2, 2, month) || !sep(i, '/') || !num(i, 2, 2, day) ||
        !sep(i, ' ') || !num(i, 1, 2, hour) || !sep(i, ':') || !num(i, 2, 2, minute) || !sep(i, ':') ||
        !num(i, 2, 2, second) || i != s.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    int64_t days = plist::datetime::daysFromCivil(year, month, 1) + day - 1;
    // Reject days past the month's end (31 April would roll into May).
    int nextYear = month == 12 ? year + 1 : year, nextMonth = month == 12 ? 1 : month + 1;
    if (days >= plist::datetime::daysFromCivil(nextYear, nextMonth, 1)) return std::nullopt;
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    tzset();
    tm.tm_wday = -1; // mktime sets it on success; -1 is also a valid answer (the second before 1970)
    time_t t = mktime(&tm);
    if (tm.tm_wday == -1) return std::nullopt;
    return plist::Date{double(t - plist::datetime::kUnixSecondsAt2001)};
}

std::string dateStringOfISO8601FormatWithDate(plist::Date d) {
    double s = d.seconds;
    constexpr double kFirst = -63113904000.0, kLast = 252423993599.0;
    if (std::isnan(s)) s = 0;
    s = std::clamp(s, kFirst, kLast);
    return *plist::datetime::formatIso8601(s);
}

std::optional<plist::Date> dateWithISO8601FormatString(std::string_view text) {
    if (text.empty()) return std::nullopt;
    auto v = plist::datetime::parseIso8601(text);
    if (!v) return std::nullopt;
    return plist::Date{*v};
}

std::optional<Data> dataWithHexString(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text)
        if (c != ' ') digits += c;
    if (digits.size() % 2) return std::nullopt;
    Data out;
    out.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        int hi = plist::text::hexDigit(digits[i]), lo = plist::text::hexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(uint8_t(hi << 4 | lo));
    }
    return out;
}

std::optional<Data> dataWithOldHexString(std::string_view text) {
    if (text.size() < 2 || text.front() != '<' || text.back() != '>') return std::nullopt;
    return dataWithHexString(text.substr(1, text.size() - 2));
}

std::optional<Data> dataWithNewHexString(std::string_view text) {
    size_t at = text.find("0x");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + 2);
    if (!rest.empty() && rest.back() == '}') rest.remove_suffix(1);
    return dataWithHexString(rest);
}

std::string descriptionOfData(std::span<const uint8_t> d) {
    static const char* kDigits = "0123456789abcdef";
    std::string s;
    s.reserve(2 + d.size() * 2 + d.size() / 4);
    s += '<';
    for (size_t i = 0; i < d.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        s += kDigits[d[i] >> 4];
        s += kDigits[d[i] & 15];
    }
    s += '>';
    return s;
}

std::string visibleMark(char32_t c, bool pictures) {
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    if (!control && c != 0x2028 && c != 0x2029) return {};
    if (pictures) {
        char32_t mark = 0;
        if (c == U'\t')
            mark = 0x21E5; // RIGHTWARDS ARROW TO BAR
        else if (c == U'\n' || c == 0x2028 || c == 0x2029)
            mark = 0x21B5; // DOWNWARDS ARROW WITH CORNER LEFTWARDS
        else if (c == U'\r')
            mark = 0x23CE; // RETURN SYMBOL
        else if (c < 0x20)
            mark = 0x2400 + c; // SYMBOL FOR NULL ... SYMBOL FOR UNIT SEPARATOR
        else if (c == 0x7F)
            mark = 0x2421; // SYMBOL FOR DELETE
        if (mark) {
            // Every mark lies in U+0800..U+FFFF: three bytes of UTF-8.
            return {char(0xE0 | (mark >> 12)), char(0x80 | ((mark >> 6) & 0x3F)), char(0x80 | (mark & 0x3F))};
        }
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\u{%x}", unsigned(c));
    return buf;
}

std::string withVisibleMarks(std::string_view text) {
    auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // Only the marked characters are decoded: U+0000..U+007F, the C1 controls (C2 80..C2 9F) and the
        // two separators (E2 80 A8, E2 80 A9).
        std::string mark;
        size_t length = 1;
        if (byte(i) < 0x80)
            mark = visibleMark(byte(i));
        else if (byte(i) == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F)
            mark = visibleMark(byte(i + 1)), length = 2;
        else if (byte(i) == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9))
            mark = visibleMark(0x2000 | (byte(i + 2) & 0x3F)), length = 3;
        if (mark.empty()) {
            out += text[i];
        } else {
            out += mark;
            i += length - 1;
        }
    }
    return out;
}

std::string childCountText(size_t n) {
    if (n == 1) return "(1 item)";
    std::string s = "(";
    s += std::to_string(n);
    s += " items)";
    return s;
}

std::string valueText(const Entry& e) {
    switch (e.type()) {
    case EntryType::Array:
    case EntryType::Dictionary:
        return e.isContainer() ? childCountText(e.child().size()) : std::string();
    case EntryType::Boolean:
        return e.boolValue() ? "true" : "false";
    case EntryType::Data:
        return descriptionOfData(e.dataValue());
    case EntryType::Date:
        return descriptionOfDate(e.dateValue());
    case EntryType::Number:
        return numberText(e.numberValue());
    case EntryType::String:
    case EntryType::NotApplicable:
        return e.stringValue();
    }
    return {};
}

} // namespace model
