#include "BinaryWriter.h"

#include <cstring>
#include <vector>

#include "Text.h"

namespace plist {
namespace {

// One object of the file: a value, a dictionary key, or a {"CF$UID": n} dictionary written as uid n.
// The kind sits in the low bits of the pointer (values and strings are at least 8-byte aligned).
class Object {
public:
    enum Kind : uintptr_t { ValueKind = 0, KeyKind = 1, UidDictKind = 2 };
    Object(const void* p, Kind k) : bits_(reinterpret_cast<uintptr_t>(p) | k) {}
    Kind kind() const { return Kind(bits_ & 3); }
    const Value& value() const { return *reinterpret_cast<const Value*>(bits_ & ~uintptr_t(3)); }
    const std::string& key() const { return *reinterpret_cast<const std::string*>(bits_ & ~uintptr_t(3)); }

private:
    uintptr_t bits_;
};

// What makes two scalars the same object: strings and data by their bytes, the fixed-size ones by their bits.
// The tag keeps a string and a data of the same bytes (or an integer and a real of the same bits) apart.
struct Identity {
    uint8_t tag = 0;
    bool hasBytes = false;
    std::string_view bytes;
    uint64_t bits = 0;
    bool operator==(const Identity& o) const {
        return tag == o.tag && hasBytes == o.hasBytes && bits == o.bits && bytes == o.bytes;
    }
};

uint64_t bitsOf(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

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
    std::memcpy(&w, p, n);
    return mix(h ^ w);
}

Identity identityOf(Object o) {
    if (o.kind() == Object::KeyKind) return {0, true, o.key(), 0};
    const Value& v = o.value();
    if (o.kind() == Object::UidDictKind) return {7, false, {}, v.dictionary().front().second.integer().asUnsigned()};
    switch (v.type()) {
    case Value::Type::String: return {0, true, v.string(), 0};
    case Value::Type::Data: return {1, true, {reinterpret_cast<const char*>(v.data().data()), v.data().size()}, 0};
    case Value::Type::Integer: return {uint8_t(v.integer().needsUnsigned() ? 2 : 3), false, {}, v.integer().bits()};
    case Value::Type::Real: return {4, false, {}, bitsOf(v.real())};
    case Value::Type::Date: return {5, false, {}, bitsOf(v.date().seconds)};
    case Value::Type::Boolean: return {6, false, {}, v.boolean()};
    case Value::Type::Uid: return {7, false, {}, v.uid().value};
    default: return {};
    }
}

unsigned widthFor(uint64_t v) {
    if (v <= 0xFF) return 1;
    if (v <= 0xFFFF) return 2;
    if (v <= 0xFFFFFFFFu) return 4;
    return 8;
}
uint8_t widthCode(unsigned w) { return uint8_t(w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3); }

bool isUidDictionary(const Value& v) {
    if (v.type() != Value::Type::Dictionary || v.dictionary().size() != 1) return false;
    const auto& [k, x] = v.dictionary().front();
    return k == "CF$UID" && x.type() == Value::Type::Integer && !x.integer().isNegative();
}

class Writer {
public:
    Expected<std::string> run(const Value& top) {
        if (auto e = flatten(top)) return std::move(*e);
        uint64_t n = objects_.size();
        refSize_ = widthFor(n - 1);
        out_.resize(n * 12 + 64);
        put("bplist00", 8);
        std::vector<uint64_t> offsets(n);
        for (uint64_t i = 0; i < n; ++i) {
            offsets[i] = len_;
            write(objects_[i], i);
        }
        uint64_t tableOffset = len_;
        unsigned offsetSize = widthFor(tableOffset);
        for (uint64_t off : offsets) be(off, offsetSize);
        char trailer[26] = {};
        put(trailer, 6);
        put1(uint8_t(offsetSize));
        put1(uint8_t(refSize_));
        be(n, 8);
        be(0, 8); // the top object is always object 0
        be(tableOffset, 8);
        out_.resize(len_);
        return std::move(out_);
    }

private:
    // Scalars met before are found in an open-addressing table of object numbers, compared by identity.
    uint64_t intern(Object o) {
        Identity id = identityOf(o);
        if (2 * (objects_.size() + 1) > table_.size()) grow();
        uint64_t h = hashOf(id);
        size_t mask = table_.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            uint64_t slot = table_[i];
            if (slot == 0) {
                table_[i] = (h & 0xFFFFFFFF00000000ull) | (objects_.size() + 1);
                objects_.push_back(o);
                return objects_.size() - 1;
            }
            if ((slot >> 32) == (h >> 32)) {
                uint64_t candidate = (slot & 0xFFFFFFFFu) - 1;
                if (identityOf(objects_[candidate]) == id) return candidate;
            }
        }
    }
    void grow() {
        std::vector<uint64_t> old = std::move(table_);
        table_.assign(std::max<size_t>(1024, old.size() * 2), 0);
        size_t mask = table_.size() - 1;
        for (uint64_t slot : old) {
            if (!slot) continue;
            uint64_t h = hashOf(identityOf(objects_[(slot & 0xFFFFFFFFu) - 1]));
            size_t i = h & mask;
            while (table_[i]) i = (i + 1) & mask;
            table_[i] = slot;
        }
    }

    // Numbers every object in a pre-order walk with an explicit stack; each container's references are
    // filled in as its entries get their numbers. Keys are numbered with their dictionary.
    std::optional<Error> flatten(const Value& top) {
        struct Pending {
            const Value* value;
            size_t slot; // where its object number goes in refList_; SIZE_MAX for the top
            int depth;
        };
        std::vector<Pending> todo{{&top, SIZE_MAX, 1}};
        while (!todo.empty()) {
            Pending p = todo.back();
            todo.pop_back();
            if (objects_.size() >= 0xFFFFFFF0u)
                return makeError(Error::Kind::Unrepresentable, "too many objects for one binary property list");
            const Value& v = *p.value;
            uint64_t id;
            if (!v.isContainer()) {
                id = intern(Object(&v, Object::ValueKind));
            } else if (isUidDictionary(v)) {
                id = intern(Object(&v, Object::UidDictKind));
            } else {
                if (p.depth > kMaxNestingDepth)
                    return makeError(Error::Kind::TooDeep,
                                     "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
                id = objects_.size();
                objects_.push_back(Object(&v, Object::ValueKind));
                size_t refs = refList_.size();
                refStart_.push_back(refs);
                if (v.type() == Value::Type::Array) {
                    const auto& a = v.array();
                    refList_.resize(refs + a.size());
                    for (size_t i = a.size(); i-- > 0;) todo.push_back({&a[i], refs + i, p.depth + 1});
                } else {
                    const auto& d = v.dictionary();
                    refList_.resize(refs + 2 * d.size());
                    for (size_t i = 0; i < d.size(); ++i)
                        refList_[refs + i] = intern(Object(&d[i].first, Object::KeyKind));
                    for (size_t i = d.size(); i-- > 0;) todo.push_back({&d[i].second, refs + d.size() + i, p.depth + 1});
                }
            }
            if (p.slot != SIZE_MAX) refList_[p.slot] = id;
        }
        return std::nullopt;
    }

    char* room(size_t n) {
        if (len_ + n > out_.size()) out_.resize(std::max(out_.size() * 2, len_ + n));
        char* p = out_.data() + len_;
        len_ += n;
        return p;
    }
    void put(const void* p, size_t n) { std::memcpy(room(n), p, n); }
    void put1(uint8_t b) { *room(1) = char(b); }
    void be(uint64_t v, unsigned width) {
        char* p = room(width);
        for (unsigned i = width; i-- > 0; v >>= 8) p[i] = char(v);
    }
    void marker(uint8_t kind, uint64_t count) {
        if (count < 15) return put1(uint8_t(kind << 4 | count));
        put1(uint8_t(kind << 4 | 0xF));
        unsigned w = widthFor(count);
        put1(uint8_t(0x10 | widthCode(w)));
        be(count, w);
    }
    void writeString(const std::string& s) {
        if (text::isAscii(s)) {
            marker(0x5, s.size());
            return put(s.data(), s.size());
        }
        std::u16string u = text::toUtf16(s);
        marker(0x6, u.size());
        char* p = room(2 * u.size());
        for (char16_t c : u) {
            *p++ = char(c >> 8);
            *p++ = char(c);
        }
    }
    void writeUid(uint64_t u) {
        unsigned w = widthFor(u);
        put1(uint8_t(0x80 | (w - 1)));
        be(u, w);
    }

    void write(Object o, uint64_t) {
        if (o.kind() == Object::KeyKind) return writeString(o.key());
        const Value& v = o.value();
        if (o.kind() == Object::UidDictKind) return writeUid(v.dictionary().front().second.integer().asUnsigned());
        switch (v.type()) {
        case Value::Type::String: return writeString(v.string());
        case Value::Type::Integer: {
            Integer i = v.integer();
            if (i.isNegative()) {
                put1(0x13);
                return be(i.bits(), 8);
            }
            if (i.needsUnsigned()) {
                put1(0x14); // 16 bytes, the high half zero
                be(0, 8);
                return be(i.asUnsigned(), 8);
            }
            unsigned w = widthFor(i.asUnsigned());
            put1(uint8_t(0x10 | widthCode(w)));
            return be(i.asUnsigned(), w);
        }
        case Value::Type::Real: put1(0x23); return be(bitsOf(v.real()), 8);
        case Value::Type::Date: put1(0x33); return be(bitsOf(v.date().seconds), 8);
        case Value::Type::Boolean: return put1(v.boolean() ? 0x09 : 0x08);
        case Value::Type::Data:
            marker(0x4, v.data().size());
            return put(v.data().data(), v.data().size());
        case Value::Type::Uid: return writeUid(v.uid().value);
        case Value::Type::Array:
        case Value::Type::Dictionary: {
            bool array = v.type() == Value::Type::Array;
            uint64_t count = array ? v.array().size() : v.dictionary().size();
            marker(array ? 0xA : 0xD, count);
            size_t refs = refStart_[nextContainer_++];
            size_t total = array ? count : 2 * count;
            char* p = room(total * refSize_);
            for (size_t i = 0; i < total; ++i) {
                uint64_t r = refList_[refs + i];
                for (unsigned b = refSize_; b-- > 0; r >>= 8) p[b] = char(r);
                p += refSize_;
            }
            return;
        }
        }
    }

    std::vector<Object> objects_;
    std::vector<uint64_t> table_;
    std::vector<uint64_t> refList_;
    std::vector<size_t> refStart_; // first reference of each container, in object order
    size_t nextContainer_ = 0;
    unsigned refSize_ = 1;
    std::string out_;
    size_t len_ = 0;
};

} // namespace

Expected<std::string> writeBinary(const Value& value) { return Writer().run(value); }

} // namespace plist
