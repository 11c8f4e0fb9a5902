// A property-list value: the tree that the XML and binary readers produce and the writers consume.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace plist {

// Nesting deeper than this is refused by every reader and writer. The top element is at depth 1,
// so a container at depth 512 may still hold scalars but no further container below that level.
// Bounding depth keeps every recursive walk of a value far inside the stack.
inline constexpr int kMaxNestingDepth = 512;

// An integer over the whole range that property-list files hold: -2^63 .. 2^64-1.
class Integer {
public:
    constexpr Integer() = default;
    static constexpr Integer fromSigned(int64_t v) { return Integer(static_cast<uint64_t>(v), v < 0); }
    static constexpr Integer fromUnsigned(uint64_t v) { return Integer(v, false); }

    constexpr bool isNegative() const { return negative_; }
    // True when the value does not fit a signed 64-bit integer (above 2^63-1).
    constexpr bool needsUnsigned() const { return !negative_ && bits_ > uint64_t(INT64_MAX); }
    constexpr int64_t asSigned() const { return static_cast<int64_t>(bits_); }
    constexpr uint64_t asUnsigned() const { return bits_; }
    // The two's-complement bit pattern; the sign comes from isNegative().
    constexpr uint64_t bits() const { return bits_; }
    double toDouble() const { return negative_ ? double(asSigned()) : double(bits_); }

    std::string toString() const;

    friend constexpr bool operator==(const Integer&, const Integer&) = default;

private:
    constexpr Integer(uint64_t bits, bool negative) : bits_(bits), negative_(negative) {}
    uint64_t bits_ = 0;
    bool negative_ = false;
};

// A point in time: seconds from 2001-01-01T00:00:00Z, as the binary format stores it.
struct Date {
    double seconds = 0;
    friend bool operator==(const Date& a, const Date& b) {
        // Bitwise-minded equality: a NaN date read from a file equals itself.
        return a.seconds == b.seconds || (a.seconds != a.seconds && b.seconds != b.seconds);
    }
};

// A keyed-archive object reference, only found in binary files.
struct Uid {
    uint64_t value = 0;
    friend constexpr bool operator==(const Uid&, const Uid&) = default;
};

using Data = std::vector<uint8_t>;

class Value {
public:
    enum class Type : uint8_t { String, Integer, Real, Boolean, Date, Data, Array, Dictionary, Uid };
    using Array = std::vector<Value>;
    // Ordered; duplicate keys are kept in the order they were read.
    using Dictionary = std::vector<std::pair<std::string, Value>>;

    Value() : v_(std::string()) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(Integer i) : v_(i) {}
    Value(double d) : v_(d) {}
    Value(bool b) : v_(b) {}
    Value(Date d) : v_(d) {}
    Value(Data d) : v_(std::move(d)) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Dictionary d) : v_(std::move(d)) {}
    Value(Uid u) : v_(u) {}
    // Integers of the built-in types go through Integer so that a literal is never taken as a bool or a real.
    static Value integer(int64_t v) { return Value(Integer::fromSigned(v)); }
    static Value unsignedInteger(uint64_t v) { return Value(Integer::fromUnsigned(v)); }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isContainer() const { return type() == Type::Array || type() == Type::Dictionary; }

    const std::string& string() const { return std::get<std::string>(v_); }
    std::string& string() { return std::get<std::string>(v_); }
    Integer integer() const { return std::get<Integer>(v_); }
    double real() const { return std::get<double>(v_); }
    bool boolean() const { return std::get<bool>(v_); }
    Date date() const { return std::get<Date>(v_); }
    const Data& data() const { return std::get<Data>(v_); }
    Data& data() { return std::get<Data>(v_); }
    const Array& array() const { return std::get<Array>(v_); }
    Array& array() { return std::get<Array>(v_); }
    const Dictionary& dictionary() const { return std::get<Dictionary>(v_); }
    Dictionary& dictionary() { return std::get<Dictionary>(v_); }
    Uid uid() const { return std::get<Uid>(v_); }

    // Deep equality; reals compare by value with NaN equal to NaN, so that round trips can be checked.
    friend bool operator==(const Value& a, const Value& b);

private:
    // The alternatives stand in the order of Type.
    std::variant<std::string, Integer, double, bool, Date, Data, Array, Dictionary, Uid> v_;
};

const char* typeName(Value::Type t);

} // namespace plist
