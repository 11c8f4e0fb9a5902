#include "Value.h"

#include <charconv>

namespace plist {

std::string Integer::toString() const {
    char buf[24];
    auto r = negative_ ? std::to_chars(buf, buf + sizeof buf, asSigned())
                       : std::to_chars(buf, buf + sizeof buf, bits_);
    return std::string(buf, r.ptr);
}

bool operator==(const Value& a, const Value& b) {
    if (a.type() != b.type()) return false;
    if (a.type() == Value::Type::Real) {
        double x = a.real(), y = b.real();
        return x == y || (x != x && y != y);
    }
    return a.v_ == b.v_;
}

const char* typeName(Value::Type t) {
    switch (t) {
    case Value::Type::String:
        return "string";
    case Value::Type::Integer:
        return "integer";
    case Value::Type::Real:
        return "real";
    case Value::Type::Boolean:
        return "boolean";
    case Value::Type::Date:
        return "date";
    case Value::Type::Data:
        return "data";
    case Value::Type::Array:
        return "array";
    case Value::Type::Dictionary:
        return "dictionary";
    case Value::Type::Uid:
        return "uid";
    }
    return "?";
}

} // namespace plist
