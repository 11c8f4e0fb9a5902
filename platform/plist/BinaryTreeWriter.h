// The binary property-list writer over any tree that an adapter describes, so that a document's own tree
// is written without first being copied into values.
//
// An adapter is a class with a Node type and these static members:
//   NodeKind kind(const Node&);
//   std::string_view string(const Node&);                  // String
//   std::string_view data(const Node&);                    // Data, as bytes
//   Integer integer(const Node&);  double real(const Node&);  double date(const Node&);
//   bool boolean(const Node&);  uint64_t uid(const Node&);
//   size_t count(const Node&);                             // Array and Dictionary entries
//   const Node& child(const Node&, size_t i);              // element i, or the value of entry i
//   const K& key(const Node&, size_t i);   // key of entry i, a K that reads as a string_view; must outlive
//   the write
// Every Node and key must stay where it is while the write runs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Error.h"
#include "Value.h"

namespace plist {

enum class NodeKind : uint8_t { String, Data, Integer, Real, Date, Boolean, Uid, Array, Dictionary };

namespace binary_detail {

// Identity of a scalar: strings and data by their bytes, the fixed-size ones by their bits. The tag keeps a
// string and a data of the same bytes (or an integer and a real of the same bits) apart.
struct Identity {
    uint8_t tag = 0;
    bool hasBytes = false;
    std::string_view bytes;
    uint64_t bits = 0;
    bool operator==(const Identity& o) const {
        return tag == o.tag && hasBytes == o.hasBytes && bits == o.bits && bytes == o.bytes;
    }
};

uint64_t hashOf(const Identity& id);
unsigned widthFor(uint64_t v);
inline uint8_t widthCode(unsigned w) {
    return uint8_t(w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3);
}
inline uint64_t bitsOf(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}
// Writes the string object at len in the buffer out (growing it) and advances len: ASCII when it can be,
// big-endian UTF-16 otherwise (lone surrogates kept).
void appendString(std::string& out, size_t& len, std::string_view s);

} // namespace binary_detail

template <class A> class BinaryTreeWriter {
public:
    using Node = typename A::Node;

    // With stop, the write looks at it every kStopStride objects and ends with an error of kind Cancelled
    // once it is set, touching the tree no more.
    explicit BinaryTreeWriter(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
    static constexpr uint64_t kStopStride = 256;

    Expected<std::string> run(const Node& top) {
        if (auto e = emit(top, nullptr)) return std::move(*e);
        out_.resize(len_);
        return std::move(out_);
    }

    // The same bytes handed to sink as they are made, about a megabyte at a time, never held whole; an error
    // of kind Io when the sink refuses a piece.
    using Sink = std::function<bool(std::string_view)>;
    std::optional<Error> run(const Node& top, const Sink& sink) { return emit(top, &sink); }
    static constexpr size_t kFlushBytes = size_t(1) << 20;

private:
    std::optional<Error> emit(const Node& top, const Sink* sink) {
        using namespace binary_detail;
        try {
            if (auto e = flatten(top)) return std::move(*e);
        } catch (const Stopped&) {
            return cancelled();
        }
        std::vector<uint64_t>().swap(table_); // needed no more, and the largest part of the flattening
        uint64_t n = objects_.size();
        refSize_ = widthFor(n - 1);
        out_.resize(sink ? std::min<size_t>(n * 12 + 64, 2 * kFlushBytes) : n * 12 + 64);
        put("bplist00", 8);
        std::vector<uint64_t> offsets(n);
        for (uint64_t i = 0; i < n; ++i) {
            if (i % kStopStride == 0 && stopped()) return cancelled();
            if (sink && len_ >= kFlushBytes && !flush(*sink)) return refused();
            offsets[i] = base_ + len_;
            write(objects_[i]);
        }
        uint64_t tableOffset = base_ + len_;
        unsigned offsetSize = widthFor(tableOffset);
        for (uint64_t off : offsets) {
            if (sink && len_ >= kFlushBytes && !flush(*sink)) return refused();
            be(off, offsetSize);
        }
        const char zeros[6] = {};
        put(zeros, 6);
        put1(uint8_t(offsetSize));
        put1(uint8_t(refSize_));
        be(n, 8);
        be(0, 8); // the top object is always object 0
        be(tableOffset, 8);
        if (sink && !flush(*sink)) return refused();
        return std::nullopt;
    }
    // Hands what the buffer holds to the sink and starts it again.
    bool flush(const Sink& sink) {
        if (!sink(std::string_view(out_.data(), len_))) return false;
        base_ += len_;
        len_ = 0;
        return true;
    }
    static Error refused() { return makeError(Error::Kind::Io, "the bytes could not be written"); }

    struct Stopped {}; // thrown where a stop is seen deep inside the flattening
    bool stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }
    static Error cancelled() { return makeError(Error::Kind::Cancelled, "the write was cancelled"); }

    using Key = std::remove_cvref_t<decltype(A::key(std::declval<const Node&>(), 0))>;
    // One object of the file: a node, a dictionary key, or a {"CF$UID": n} dictionary written as uid n.
    struct Object {
        enum Kind : uint8_t { NodeObject, KeyObject, UidDictObject };
        const void* p;
        Kind kind;
        const Node& node() const { return *static_cast<const Node*>(p); }
        std::string_view key() const { return *static_cast<const Key*>(p); }
    };

    static bool isUidDictionary(const Node& n) {
        if (A::kind(n) != NodeKind::Dictionary || A::count(n) != 1 || A::key(n, 0) != "CF$UID") return false;
        const Node& v = A::child(n, 0);
        return A::kind(v) == NodeKind::Integer && !A::integer(v).isNegative();
    }

    static binary_detail::Identity identityOf(const Object& o) {
        using binary_detail::bitsOf;
        if (o.kind == Object::KeyObject) return {0, true, o.key(), 0};
        const Node& n = o.node();
        if (o.kind == Object::UidDictObject) return {7, false, {}, A::integer(A::child(n, 0)).asUnsigned()};
        switch (A::kind(n)) {
        case NodeKind::String:
            return {0, true, A::string(n), 0};
        case NodeKind::Data:
            return {1, true, A::data(n), 0};
        case NodeKind::Integer: {
            Integer i = A::integer(n);
            return {uint8_t(i.needsUnsigned() ? 2 : 3), false, {}, i.bits()};
        }
        case NodeKind::Real:
            return {4, false, {}, bitsOf(A::real(n))};
        case NodeKind::Date:
            return {5, false, {}, bitsOf(A::date(n))};
        case NodeKind::Boolean:
            return {6, false, {}, A::boolean(n)};
        case NodeKind::Uid:
            return {7, false, {}, A::uid(n)};
        default:
            return {};
        }
    }

    // Scalars met before are found in an open-addressing table of object numbers, compared by identity.
    // A slot holds the low half of the hash above the object number plus one, so that the table grows
    // without the hashes being computed again.
    uint64_t intern(Object o) {
        binary_detail::Identity id = identityOf(o);
        if (2 * (objects_.size() + 1) > table_.size()) grow();
        const uint64_t h = binary_detail::hashOf(id) & 0xFFFFFFFFu;
        const size_t mask = table_.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            uint64_t slot = table_[i];
            if (slot == 0) {
                table_[i] = h << 32 | (objects_.size() + 1);
                objects_.push_back(o);
                return objects_.size() - 1;
            }
            if ((slot >> 32) == h) {
                uint64_t candidate = (slot & 0xFFFFFFFFu) - 1;
                if (identityOf(objects_[candidate]) == id) return candidate;
            }
        }
    }
    void grow() {
        std::vector<uint64_t> old = std::move(table_);
        table_.assign(std::max<size_t>(1024, old.size() * 2), 0);
        const size_t mask = table_.size() - 1;
        size_t seen = 0;
        for (uint64_t slot : old) {
            if (++seen % (kStopStride * 64) == 0 && stopped()) throw Stopped{};
            if (!slot) continue;
            size_t i = (slot >> 32) & mask;
            while (table_[i])
                i = (i + 1) & mask;
            table_[i] = slot;
        }
    }

    // Numbers every object in a pre-order walk with an explicit stack; each container's references are
    // filled in as its entries get their numbers. Keys are numbered with their dictionary.
    std::optional<Error> flatten(const Node& top) {
        struct Pending {
            const Node* node;
            size_t slot; // where its object number goes in refList_; SIZE_MAX for the top
            int depth;
        };
        std::vector<Pending> todo{{&top, SIZE_MAX, 1}};
        uint64_t visited = 0;
        while (!todo.empty()) {
            if (++visited % kStopStride == 0 && stopped()) return cancelled();
            Pending p = todo.back();
            todo.pop_back();
            if (objects_.size() >= 0xFFFFFFF0u)
                return makeError(Error::Kind::Unrepresentable,
                                 "too many objects for one binary property list");
            const Node& n = *p.node;
            NodeKind k = A::kind(n);
            uint64_t id;
            if (k != NodeKind::Array && k != NodeKind::Dictionary) {
                id = intern({&n, Object::NodeObject});
            } else if (isUidDictionary(n)) {
                id = intern({&n, Object::UidDictObject});
            } else {
                if (p.depth > kMaxNestingDepth)
                    return makeError(Error::Kind::TooDeep,
                                     "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
                id = objects_.size();
                objects_.push_back({&n, Object::NodeObject});
                size_t refs = refList_.size();
                refStart_.push_back(refs);
                size_t count = A::count(n);
                if (k == NodeKind::Array) {
                    refList_.resize(refs + count);
                    for (size_t i = count; i-- > 0;)
                        todo.push_back({&A::child(n, i), refs + i, p.depth + 1});
                } else {
                    refList_.resize(refs + 2 * count);
                    for (size_t i = 0; i < count; ++i)
                        refList_[refs + i] = intern({&A::key(n, i), Object::KeyObject});
                    for (size_t i = count; i-- > 0;)
                        todo.push_back({&A::child(n, i), refs + count + i, p.depth + 1});
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
    void put(const void* p, size_t n) {
        if (n) std::memcpy(room(n), p, n);
    }
    void put1(uint8_t b) { *room(1) = char(b); }
    void be(uint64_t v, unsigned width) {
        char* p = room(width);
        for (unsigned i = width; i-- > 0; v >>= 8)
            p[i] = char(v);
    }
    void marker(uint8_t kind, uint64_t count) {
        if (count < 15) return put1(uint8_t(kind << 4 | count));
        put1(uint8_t(kind << 4 | 0xF));
        unsigned w = binary_detail::widthFor(count);
        put1(uint8_t(0x10 | binary_detail::widthCode(w)));
        be(count, w);
    }
    void writeUid(uint64_t u) {
        unsigned w = binary_detail::widthFor(u);
        put1(uint8_t(0x80 | (w - 1)));
        be(u, w);
    }
    void writeString(std::string_view s) { binary_detail::appendString(out_, len_, s); }

    void write(const Object& o) {
        using binary_detail::bitsOf;
        if (o.kind == Object::KeyObject) return writeString(o.key());
        const Node& n = o.node();
        if (o.kind == Object::UidDictObject) return writeUid(A::integer(A::child(n, 0)).asUnsigned());
        switch (A::kind(n)) {
        case NodeKind::String:
            return writeString(A::string(n));
        case NodeKind::Integer: {
            Integer i = A::integer(n);
            if (i.isNegative()) {
                put1(0x13);
                return be(i.bits(), 8);
            }
            if (i.needsUnsigned()) {
                put1(0x14); // 16 bytes, the high half zero
                be(0, 8);
                return be(i.asUnsigned(), 8);
            }
            unsigned w = binary_detail::widthFor(i.asUnsigned());
            put1(uint8_t(0x10 | binary_detail::widthCode(w)));
            return be(i.asUnsigned(), w);
        }
        case NodeKind::Real:
            put1(0x23);
            return be(bitsOf(A::real(n)), 8);
        case NodeKind::Date:
            put1(0x33);
            return be(bitsOf(A::date(n)), 8);
        case NodeKind::Boolean:
            return put1(A::boolean(n) ? 0x09 : 0x08);
        case NodeKind::Data: {
            std::string_view d = A::data(n);
            marker(0x4, d.size());
            return put(d.data(), d.size());
        }
        case NodeKind::Uid:
            return writeUid(A::uid(n));
        case NodeKind::Array:
        case NodeKind::Dictionary: {
            bool array = A::kind(n) == NodeKind::Array;
            uint64_t count = A::count(n);
            marker(array ? 0xA : 0xD, count);
            size_t refs = refStart_[nextContainer_++];
            size_t total = array ? count : 2 * count;
            char* p = room(total * refSize_);
            for (size_t i = 0; i < total; ++i) {
                uint64_t r = refList_[refs + i];
                for (unsigned b = refSize_; b-- > 0; r >>= 8)
                    p[b] = char(r);
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
    uint64_t base_ = 0; // bytes already handed to the sink
    const std::atomic<bool>* stop_ = nullptr;
};

} // namespace plist
