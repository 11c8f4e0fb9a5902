// Errors as values: what went wrong, where, and a sentence a person can act on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace plist {

struct Error {
    enum class Kind {
        Empty,           // no bytes at all
        NotPropertyList, // the bytes are no property list of any known format
        Xml,             // malformed XML or a plist structure error in XML
        Binary,          // a malformed binary property list
        OldText,         // a malformed old-style text property list
        TooDeep,         // nesting beyond kMaxNestingDepth
        Unrepresentable, // a value that the requested output format cannot hold
        Io,              // reading a file failed
        NoMemory,        // an allocation failed
        Cancelled,       // the caller asked the work to stop
    };
    Kind kind = Kind::NotPropertyList;
    std::string message;
    // Byte offset in the input where the fault was found, when there is one.
    int64_t offset = -1;
};

// A value or the error that prevented it.
template <typename T, typename E = Error> class [[nodiscard]] Expected {
public:
    Expected(T value) : v_(std::move(value)) {}
    Expected(E error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

inline Error makeError(Error::Kind kind, std::string message, int64_t offset = -1) {
    return Error{kind, std::move(message), offset};
}

// The reason given wherever an allocation failed: the services and the model catch std::bad_alloc where a
// caller enters them and answer with this error, so running out of memory fails one load or save, never the
// process.
inline constexpr std::string_view kNotEnoughMemory = "not enough memory";
inline Error noMemoryError() {
    return makeError(Error::Kind::NoMemory, std::string(kNotEnoughMemory));
}

} // namespace plist
