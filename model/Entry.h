// One node of a document's tree: key, type, value, children and serial number, shared by reference.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/plist/Value.h"

namespace model {

class Entry;

// An owning reference to an entry. Entries are shared by the tree, the selection and the undo history,
// always on one thread, so the count is a plain integer kept in the entry itself (no control block).
class EntryRef {
public:
    EntryRef() = default;
    EntryRef(std::nullptr_t) {}
    explicit EntryRef(Entry* e);
    EntryRef(const EntryRef& o) : EntryRef(o.e_) {}
    EntryRef(EntryRef&& o) noexcept : e_(std::exchange(o.e_, nullptr)) {}
    EntryRef& operator=(EntryRef o) noexcept {
        std::swap(e_, o.e_);
        return *this;
    }
    ~EntryRef();

    Entry* get() const { return e_; }
    Entry* operator->() const { return e_; }
    Entry& operator*() const { return *e_; }
    explicit operator bool() const { return e_ != nullptr; }
    friend bool operator==(const EntryRef& a, const EntryRef& b) { return a.e_ == b.e_; }
    friend bool operator==(const EntryRef& a, const Entry* b) { return a.e_ == b; }

private:
    Entry* e_ = nullptr;
};

// The type of an entry, stored and shown by its name.
enum class EntryType : uint8_t { Array, Dictionary, Boolean, Data, Date, Number, String, NotApplicable };

std::string_view typeName(EntryType t);
// "Array" ... "String" and "n/a"; none for any other text.
std::optional<EntryType> typeNamed(std::string_view name);

// A Number keeps its kind: an integer over the whole range files hold, or a real.
struct Number {
    bool isReal = false;
    plist::Integer integer;
    double real = 0;

    static Number fromInteger(plist::Integer i) { return Number{false, i, 0}; }
    static Number fromReal(double d) { return Number{true, {}, d}; }
    double toDouble() const { return isReal ? real : integer.toDouble(); }
    // Equal as numbers: the integer 1 equals the real 1.0.
    bool sameNumber(const Number& o) const;
};

using Data = std::vector<uint8_t>;
using Children = std::vector<EntryRef>;

// A string value as stored: a std::string_view that turns into a std::string where one is asked for.
class TextView : public std::string_view {
public:
    explicit TextView(std::string_view s) : std::string_view(s) {}
    operator std::string() const { return std::string(*this); }
    friend std::string operator+(const TextView& a, std::string_view b) { return std::string(a).append(b); }
    friend std::string operator+(std::string_view a, const TextView& b) { return std::string(a).append(b); }
};

// Text or bytes in 16 bytes: up to 15 bytes in place, longer ones in one block of their own. Reads as a
// std::string_view, and as a std::string where one is asked for.
class CompactText {
public:
    CompactText() { setEmpty(); }
    explicit CompactText(std::string_view s) {
        setEmpty();
        assign(s);
    }
    CompactText(const CompactText& o) : CompactText(o.view()) {}
    CompactText(CompactText&& o) noexcept {
        setEmpty();
        *this = std::move(o);
    }
    CompactText& operator=(const CompactText& o) {
        assign(o.view());
        return *this;
    }
    CompactText& operator=(CompactText&& o) noexcept {
        if (this == &o) return *this;
        if (o.isBorrowed()) return *this = o.view(); // the block stays with its owner
        release();
        std::memcpy(bytes_, o.bytes_, sizeof bytes_);
        o.setEmpty();
        return *this;
    }
    CompactText& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    ~CompactText() { release(); }

    std::string_view view() const {
        if (isInline()) return {bytes_, size_t(uint8_t(bytes_[15]) & ~kInline)};
        return {heapData(), heapSize()};
    }
    const char* data() const { return view().data(); }
    size_t size() const { return view().size(); }
    bool empty() const { return view().empty(); }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }
    operator TextView() const { return TextView(view()); }
    friend bool operator==(const CompactText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const CompactText& a, const CompactText& b) { return a.view() == b.view(); }
    friend std::string operator+(const CompactText& a, std::string_view b) {
        return std::string(a.view()).append(b);
    }
    friend std::string operator+(std::string_view a, const CompactText& b) {
        return std::string(a).append(b.view());
    }

private:
    friend class Entry;
    // In place, the last byte is kInline plus the length. Out of place, the bytes hold the block's address
    // and then its size, whose last byte is 0 for any size below 2^56 (the layout is little-endian), or
    // kBorrowed when the bytes lie in a block that another text owns (an entry's key in its value's block).
    static_assert(std::endian::native == std::endian::little);
    static constexpr uint8_t kInline = 0x80, kBorrowed = 0x40;
    static constexpr size_t kSizeMask = (size_t(1) << 56) - 1;
    bool isInline() const { return uint8_t(bytes_[15]) & kInline; }
    bool isBorrowed() const { return uint8_t(bytes_[15]) == kBorrowed; }
    bool ownsBlock() const { return !isInline() && !isBorrowed(); }
    // Points at bytes of another text's block, letting go of a block of its own.
    void borrow(const char* p, size_t n) {
        release();
        n |= size_t(kBorrowed) << 56;
        std::memcpy(bytes_, &p, sizeof p);
        std::memcpy(bytes_ + 8, &n, sizeof n);
    }
    // Takes a block of n bytes made with new[].
    void adopt(char* p, size_t n) {
        release();
        std::memcpy(bytes_, &p, sizeof p);
        std::memcpy(bytes_ + 8, &n, sizeof n);
    }
    char* heapData() const {
        char* p;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
    }
    size_t heapSize() const {
        size_t n;
        std::memcpy(&n, bytes_ + 8, sizeof n);
        return n & kSizeMask;
    }
    void setEmpty() { bytes_[15] = char(kInline); }
    void release() {
        if (ownsBlock()) delete[] heapData();
        setEmpty();
    }
    void assign(std::string_view s) {
        char* old = ownsBlock() ? heapData() : nullptr; // s may lie in it
        if (s.size() < 16) {
            char b[16];
            // An empty view may have no data at all, which memcpy must not be given.
            if (!s.empty()) std::memcpy(b, s.data(), s.size());
            if (!s.empty()) std::memcpy(bytes_, b, s.size());
            bytes_[15] = char(kInline | s.size());
        } else {
            char* p = new char[s.size()];
            std::memcpy(p, s.data(), s.size());
            size_t n = s.size();
            std::memcpy(bytes_, &p, sizeof p);
            std::memcpy(bytes_ + 8, &n, sizeof n);
        }
        delete[] old;
    }
    alignas(8) char bytes_[16];
};

// A data value as stored: its bytes, turning into Data where a copy is asked for.
class BytesView : public std::span<const uint8_t> {
public:
    explicit BytesView(std::span<const uint8_t> b) : std::span<const uint8_t>(b) {}
    operator Data() const { return Data(begin(), end()); }
    friend bool operator==(const BytesView& a, const Data& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
};

class Entry final {
public:
    // The payload by type: text for String and "n/a" (whose text is "unknown data"), and "" for containers,
    // which keep their children here instead.
    using Value = std::variant<std::string, bool, Number, plist::Date, Data, Children>;

    static constexpr int64_t kNoIdNumber = INT64_MIN;

    static EntryRef make(std::string_view key, EntryType type, Value value, int64_t idNumber = kNoIdNumber);
    static EntryRef makeContainer(std::string_view key, EntryType type, int64_t idNumber = kNoIdNumber);
    // The same without a copy of the value in between: a String of this text, a container of these children.
    static EntryRef makeString(std::string_view key, std::string_view text);
    static EntryRef makeContainer(std::string_view key, EntryType type, Children children);

    CompactText key;

    EntryType type() const { return type_; }
    // Changing the type does not touch the value; the caller sets a value of the new type.
    void setType(EntryType t) { type_ = t; }
    // A copy of the value.
    Value value() const;
    // Sets a scalar value. Children held before are released (their parent link cleared).
    void setValue(Value v);

    bool isContainer() const { return stored_ == Stored::Children; }
    bool holdsString() const { return stored_ == Stored::Text; }
    // The children in document order; only for containers.
    const Children& child() const { return *children_(); }
    size_t childCount() const { return isContainer() ? child().size() : 0; }

    // Keeps parent links and positions right: the only ways children change.
    void insertChild(size_t index, EntryRef e);
    EntryRef removeChild(size_t index);
    void moveChild(size_t from, size_t to);
    void appendChild(EntryRef e) { insertChild(childCount(), std::move(e)); }
    // Makes this entry a container holding exactly these children (for a type change or a read).
    void setChildren(Children c);

    Entry* parent() const { return parent_; }
    // Whether this entry stands below root or is root (false once it was taken out of that tree).
    bool isInTreeOf(const Entry* root) const {
        const Entry* x = this;
        while (x->parent_)
            x = x->parent_;
        return x == root;
    }
    // Position among the parent's children; meaningful only while parent() is set.
    size_t indexInParent() const { return index_; }

    int64_t idNumber() const { return idNumber_; }
    bool hasIdNumber() const { return idNumber_ != kNoIdNumber; }
    void setIdNumber(int64_t n) { idNumber_ = n; }

    // Each reads the value of its kind, and throws std::bad_variant_access for a value of another kind.
    TextView stringValue() const { return TextView(text(Stored::Text).view()); }
    bool boolValue() const { return bits(Stored::Boolean) != 0; }
    Number numberValue() const;
    plist::Date dateValue() const { return plist::Date{std::bit_cast<double>(bits(Stored::Date))}; }
    BytesView dataValue() const {
        std::string_view b = text(Stored::Bytes).view();
        return BytesView({reinterpret_cast<const uint8_t*>(b.data()), b.size()});
    }

    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry();

    // Entries come from a pool of their own: a document of a million entries makes a million of them at once,
    // and the pool saves the allocator's per-block header and most of its time.
    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;

private:
    friend class EntryRef;
    // What the payload holds: text in place or in one block, one 64-bit scalar, or the address of the
    // children.
    enum class Stored : uint8_t { Text, Bytes, Boolean, Integer, NegativeInteger, Real, Date, Children };

    Entry(std::string_view k, EntryType t, int64_t id) : key(k), idNumber_(id), type_(t) {
        new (payload_) CompactText();
    }
    const CompactText& text(Stored s) const {
        if (stored_ != s) throw std::bad_variant_access();
        return *std::launder(reinterpret_cast<const CompactText*>(payload_));
    }
    uint64_t bits(Stored s) const {
        if (stored_ != s) throw std::bad_variant_access();
        uint64_t b;
        std::memcpy(&b, payload_, sizeof b);
        return b;
    }
    Children* children_() const {
        if (stored_ != Stored::Children) throw std::bad_variant_access();
        Children* c;
        std::memcpy(&c, payload_, sizeof c);
        return c;
    }
    void releasePayload();
    void setText(std::string_view s);
    void renumberFrom(size_t index);

    alignas(8) unsigned char payload_[16];
    int64_t idNumber_;
    Entry* parent_ = nullptr;
    uint32_t index_ = 0;
    uint32_t refs_ = 0;
    EntryType type_;
    Stored stored_ = Stored::Text;
};

// The key column's label of an entry: kRootLabel for the top entry (one without a parent), "Item N" for an
// element of an Array (N counted from 0), else its key. A caller that translates passes its own words; "%1"
// in itemWord stands for N.
inline constexpr std::string_view kRootLabel = "Root";
std::string keyLabel(const Entry& e, std::string_view rootWord = kRootLabel,
                     std::string_view itemWord = "Item %1");
// The key path that alerts and Copy Key Path show: the labels from "Root" down to the entry, joined by "
// \u203a ".
std::string keyPath(const Entry& e);

inline EntryRef::EntryRef(Entry* e) : e_(e) {
    if (e_) ++e_->refs_;
}
inline EntryRef::~EntryRef() {
    if (e_ && --e_->refs_ == 0) delete e_;
}

} // namespace model
