#include "BinaryWriter.h"

#include "BinaryTreeWriter.h"
#include "Text.h"

namespace plist {
namespace binary_detail {
namespace {

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

} // namespace

uint64_t hashOf(const Identity& id) {
    if (!id.hasBytes) return mix(id.bits * 31 + id.tag);
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (id.bytes.size() * 0x100000001B3ull) ^ id.tag;
    const char* p = id.bytes.data();
    size_t n = id.bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ mix(w)) * 0x100000001B3ull;
    }
    uint64_t w = 0;
    if (n) std::memcpy(&w, p, n);
    return mix(h ^ w);
}

unsigned widthFor(uint64_t v) {
    if (v <= 0xFF) return 1;
    if (v <= 0xFFFF) return 2;
    if (v <= 0xFFFFFFFFu) return 4;
    return 8;
}

void appendString(std::string& out, size_t& len, std::string_view s) {
    // out is the buffer, len the write position in it; the buffer grows by doubling.
    auto room = [&](size_t n) {
        if (len + n > out.size()) out.resize(std::max(out.size() * 2, len + n));
        char* p = out.data() + len;
        len += n;
        return p;
    };
    auto marker = [&](uint8_t kind, uint64_t count) {
        if (count < 15) {
            *room(1) = char(kind << 4 | count);
            return;
        }
        unsigned w = widthFor(count);
        char* p = room(2 + w);
        p[0] = char(kind << 4 | 0xF);
        p[1] = char(0x10 | widthCode(w));
        for (unsigned i = 0; i < w; ++i)
            p[2 + i] = char(count >> (8 * (w - 1 - i)));
    };
    if (text::isAscii(s)) {
        marker(0x5, s.size());
        if (!s.empty()) std::memcpy(room(s.size()), s.data(), s.size());
        return;
    }
    std::u16string u = text::toUtf16(s);
    marker(0x6, u.size());
    char* p = room(2 * u.size());
    for (char16_t c : u) {
        *p++ = char(c >> 8);
        *p++ = char(c);
    }
}

} // namespace binary_detail

namespace {

struct ValueAdapter {
    using Node = Value;
    static NodeKind kind(const Value& v) {
        switch (v.type()) {
        case Value::Type::String:
            return NodeKind::String;
        case Value::Type::Integer:
            return NodeKind::Integer;
        case Value::Type::Real:
            return NodeKind::Real;
        case Value::Type::Boolean:
            return NodeKind::Boolean;
        case Value::Type::Date:
            return NodeKind::Date;
        case Value::Type::Data:
            return NodeKind::Data;
        case Value::Type::Array:
            return NodeKind::Array;
        case Value::Type::Dictionary:
            return NodeKind::Dictionary;
        case Value::Type::Uid:
            return NodeKind::Uid;
        }
        return NodeKind::String;
    }
    static std::string_view string(const Value& v) { return v.string(); }
    static std::string_view data(const Value& v) {
        return {reinterpret_cast<const char*>(v.data().data()), v.data().size()};
    }
    static Integer integer(const Value& v) { return v.integer(); }
    static double real(const Value& v) { return v.real(); }
    static double date(const Value& v) { return v.date().seconds; }
    static bool boolean(const Value& v) { return v.boolean(); }
    static uint64_t uid(const Value& v) { return v.uid().value; }
    static size_t count(const Value& v) {
        return v.type() == Value::Type::Array ? v.array().size() : v.dictionary().size();
    }
    static const Value& child(const Value& v, size_t i) {
        return v.type() == Value::Type::Array ? v.array()[i] : v.dictionary()[i].second;
    }
    static const std::string& key(const Value& v, size_t i) { return v.dictionary()[i].first; }
};

} // namespace

Expected<std::string> writeBinary(const Value& value) {
    return BinaryTreeWriter<ValueAdapter>().run(value);
}

} // namespace plist
