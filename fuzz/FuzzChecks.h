// Checks the fuzz targets make on the values the readers give. A failed check prints what failed and traps,
// so that libFuzzer keeps the input as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/plist/PropertyList.h"

namespace fuzz {

void require(bool condition, const char* what, std::string_view detail = {});

inline std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// UTF-8 in which only lone surrogates may stand as three-byte sequences: how every string of a value is held.
bool wellFormed(std::string_view s);
bool stringsWellFormed(const plist::Value& v);

// An error names a kind, says something and points into the input or nowhere.
void checkError(const plist::Error& e, size_t inputSize);

// Binary: always written; read back it is the same value, a {"CF$UID": n} dictionary having become uid n.
void checkBinaryRoundTrip(const plist::Value& v);
// Published XML: written unless the value holds what XML cannot (or a uid too deep to become a dictionary);
// read back it is the same value with dates cut to whole seconds and uids as {"CF$UID": n} dictionaries.
void checkXmlRoundTrip(const plist::Value& v);
// Exact XML: always written; each scalar's element line reads back with parseElement(line, true).
void checkExactForms(const plist::Value& v);

// All of the above, for a value a reader gave.
void checkValue(const plist::Value& v);

} // namespace fuzz
