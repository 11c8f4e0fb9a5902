#include "DateTime.h"

#include "Text.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace plist::datetime {
namespace {

constexpr int64_t kDaysFrom1970To2001 = 11323;
// Seconds of 0001-01-01 and of 10000-01-01 from 2001.
constexpr double kFirstIsoSecond = -63113904000.0;
constexpr double kPastLastIsoSecond = 252423993600.0;

bool isLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int daysInMonth(int64_t y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly n decimal digits at pos.
bool digits(std::string_view s, size_t& pos, int n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        char c = s[pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += n;
    out = v;
    return true;
}

// The same double to the bit: -0.0 is not 0.0, whose text would read back without the sign.
bool sameBits(std::optional<double> a, double b) {
    return a && std::bit_cast<uint64_t>(*a) == std::bit_cast<uint64_t>(b);
}

std::string shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

} // namespace

int64_t daysFromCivil(int64_t y, int m, int d) {
    // Howard Hinnant's days_from_civil, valid over the whole int64 year range we allow.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Civil civilFromSeconds(int64_t s) {
    int64_t days = s / 86400, rem = s % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    int64_t z = days + kDaysFrom1970To2001 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = int(doy - (153 * mp + 2) / 5 + 1);
    c.month = int(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2);
    c.hour = int(rem / 3600);
    c.minute = int(rem / 60 % 60);
    c.second = int(rem % 60);
    return c;
}

int64_t secondsFromCivil(const Civil& c) {
    return (daysFromCivil(c.year, c.month, c.day) - kDaysFrom1970To2001) * 86400 + c.hour * 3600 +
           c.minute * 60 + c.second;
}

bool fitsIsoYears(double s) {
    return s >= kFirstIsoSecond && s < kPastLastIsoSecond;
}

std::optional<std::string> formatIso8601(double s) {
    if (!fitsIsoYears(s)) return std::nullopt;
    Civil c = civilFromSeconds(static_cast<int64_t>(std::floor(s)));
    // YYYY-MM-DDTHH:MM:SSZ, the year within 1 to 9999.
    std::string out = "0000-00-00T00:00:00Z";
    auto put = [&](size_t at, int value, int digits) {
        for (int i = digits; i-- > 0; value /= 10)
            out[at + size_t(i)] = char('0' + value % 10);
    };
    put(0, int(c.year), 4);
    put(5, int(c.month), 2);
    put(8, int(c.day), 2);
    put(11, int(c.hour), 2);
    put(14, int(c.minute), 2);
    put(17, int(c.second), 2);
    return out;
}

std::optional<double> parseIso8601(std::string_view text) {
    std::string_view s = text::trimXmlSpace(text);
    size_t pos = 0;
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (!digits(s, pos, 4, year)) return std::nullopt;
    auto field = [&](char sep, int& out) {
        if (pos < s.size() && s[pos] == sep) {
            ++pos;
            return digits(s, pos, 2, out) ? 1 : -1;
        }
        return 0;
    };
    int r = field('-', month);
    if (r == 1) r = field('-', day);
    if (r == 1) r = field('T', hour);
    if (r == 1) r = field(':', minute);
    if (r == 1) r = field(':', second);
    if (r < 0) return std::nullopt;
    if (pos + 1 != s.size() || s[pos] != 'Z') return std::nullopt;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;
    return double(secondsFromCivil(Civil{year, month, day, hour, minute, second}));
}

std::string formatExact(double s) {
    if (fitsIsoYears(s)) {
        double whole = std::floor(s);
        std::string iso = *formatIso8601(s);
        double frac = s - whole;
        if (frac == 0 && !(s == 0 && std::signbit(s))) return iso;
        char buf[400];
        auto r = std::to_chars(buf, buf + sizeof buf, frac, std::chars_format::fixed);
        // "0.25" -> ".25" placed before the Z
        if (r.ec == std::errc() && buf[0] == '0') {
            iso.insert(iso.size() - 1, std::string(buf + 1, r.ptr));
            // The subtraction rounds for some values just below a whole second (-0.1 s, -1e-20 s); those
            // take the raw form below instead.
            if (sameBits(parseExact(iso), s)) return iso;
        }
    }
    std::string r = "#";
    r += shortest(s);
    return r;
}

std::optional<double> parseExact(std::string_view text) {
    if (!text.empty() && text[0] == '#') {
        std::string_view t = text.substr(1);
        if (t == "nan") return std::nan("");
        if (t == "inf") return HUGE_VAL;
        if (t == "-inf") return -HUGE_VAL;
        double v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
        return v;
    }
    size_t dot = text.find('.');
    if (dot == std::string_view::npos) return parseIso8601(text);
    size_t z = text.find('Z', dot);
    if (z == std::string_view::npos) return std::nullopt;
    std::string whole(text.substr(0, dot));
    whole += text.substr(z);
    auto base = parseIso8601(whole);
    if (!base) return std::nullopt;
    std::string fracText = "0";
    fracText += text.substr(dot, z - dot);
    double frac = 0;
    auto r =
        std::from_chars(fracText.data(), fracText.data() + fracText.size(), frac, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != fracText.data() + fracText.size() || frac >= 1) return std::nullopt;
    return *base + frac;
}

} // namespace plist::datetime
