// One node of a document's tree: key, type, value, children and serial number, shared by reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

class Entry final {
public:
    // The payload by type: text for String and "n/a" (whose text is "unknown data"), and "" for containers,
    // which keep their children here instead.
    using Value = std::variant<std::string, bool, Number, plist::Date, Data, Children>;

    static constexpr int64_t kNoIdNumber = INT64_MIN;

    static EntryRef make(std::string key, EntryType type, Value value, int64_t idNumber = kNoIdNumber);
    static EntryRef makeContainer(std::string key, EntryType type, int64_t idNumber = kNoIdNumber);

    std::string key;

    EntryType type() const { return type_; }
    // Changing the type does not touch the value; the caller sets a value of the new type.
    void setType(EntryType t) { type_ = t; }
    const Value& value() const { return value_; }
    // Sets a scalar value. Children held before are released (their parent link cleared).
    void setValue(Value v);

    bool isContainer() const { return std::holds_alternative<Children>(value_); }
    // The children in document order; only for containers.
    const Children& child() const { return std::get<Children>(value_); }
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

    const std::string& stringValue() const { return std::get<std::string>(value_); }
    bool boolValue() const { return std::get<bool>(value_); }
    const Number& numberValue() const { return std::get<Number>(value_); }
    plist::Date dateValue() const { return std::get<plist::Date>(value_); }
    const Data& dataValue() const { return std::get<Data>(value_); }

    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry();

    // Entries come from a pool of their own: a document of a million entries makes a million of them at once,
    // and the pool saves the allocator's per-block header and most of its time.
    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;

private:
    friend class EntryRef;
    Entry(std::string k, EntryType t, Value v, int64_t id)
        : key(std::move(k)), value_(std::move(v)), idNumber_(id), type_(t) {}
    Children& children() { return std::get<Children>(value_); }
    void renumberFrom(size_t index);

    Value value_;
    int64_t idNumber_;
    Entry* parent_ = nullptr;
    uint32_t index_ = 0;
    uint32_t refs_ = 0;
    EntryType type_;
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
