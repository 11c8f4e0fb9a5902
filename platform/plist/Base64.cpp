#include "Base64.h"

#include <array>

namespace plist::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeDecodeTable() {
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    t[' '] = t['\t'] = t['\n'] = t['\r'] = -2; // skipped
    t['='] = -3;
    return t;
}
constexpr auto kDecode = makeDecodeTable();

} // namespace

void encode(const uint8_t* p, size_t n, std::string& out) {
    size_t start = out.size();
    out.resize(start + (n + 2) / 3 * 4);
    char* o = out.data() + start;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (n - i == 1) {
        uint32_t v = uint32_t(p[i]) << 16;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = '=';
        *o++ = '=';
    } else if (n - i == 2) {
        uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = '=';
    }
}

std::string encode(const std::vector<uint8_t>& bytes) {
    std::string s;
    encode(bytes.data(), bytes.size(), s);
    return s;
}

std::optional<std::vector<uint8_t>> decode(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t acc = 0;
    int bits = 0;
    int pads = 0;
    size_t symbols = 0;
    for (char c : text) {
        int8_t d = kDecode[static_cast<uint8_t>(c)];
        if (d == -2) continue;
        if (d == -1) return std::nullopt;
        if (d == -3) {
            ++pads;
            ++symbols;
            continue;
        }
        if (pads) return std::nullopt; // data after padding
        acc = (acc << 6) | uint32_t(d);
        bits += 6;
        ++symbols;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    if (pads > 2) return std::nullopt;
    if (pads && symbols % 4 != 0) return std::nullopt;
    // A lone symbol in the last group carries fewer than eight bits: no byte can end there.
    if ((symbols - pads) % 4 == 1) return std::nullopt;
    return out;
}

} // namespace plist::base64
