#include "Scalars.h"

#include "Text.h"

#include <charconv>
#include <cmath>

namespace plist::scalars {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

} // namespace

std::optional<Integer> parseInteger(std::string_view text) {
    std::string_view s = text::trimXmlSpace(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s[0] == '+' || s[0] == '-') return std::nullopt;
    uint64_t magnitude = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    if (!negative) return Integer::fromUnsigned(magnitude);
    if (magnitude > uint64_t(INT64_MAX) + 1) return std::nullopt;
    return Integer::fromSigned(static_cast<int64_t>(0 - magnitude));
}

std::optional<double> parseReal(std::string_view text) {
    std::string_view s = text::trimXmlSpace(text);
    if (s.empty()) return std::nullopt;
    std::string_view body = s;
    bool negative = false;
    if (body[0] == '+' || body[0] == '-') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (equalsNoCase(body, "nan")) return std::nan("");
    if (equalsNoCase(body, "inf") || equalsNoCase(body, "infinity")) return negative ? -HUGE_VAL : HUGE_VAL;
    if (body.empty() || body[0] == '+' || body[0] == '-') return std::nullopt;
    double v = 0;
    auto r = std::from_chars(body.data(), body.data() + body.size(), v);
    // Out-of-range text such as 1e999 still names a number: it reads as the infinity or zero it rounds to.
    if (r.ec == std::errc::result_out_of_range && r.ptr == body.data() + body.size()) {
        bool tiny = false;
        for (const char* p = body.data(); p < r.ptr; ++p)
            if ((*p == 'e' || *p == 'E') && p + 1 < r.ptr && p[1] == '-') tiny = true;
        v = tiny ? 0.0 : HUGE_VAL;
    } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

std::string formatReal(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "+infinity" : "-infinity";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

} // namespace plist::scalars
