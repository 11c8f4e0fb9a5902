// Base64 (RFC 4648, standard alphabet with "=" padding) as XML property lists carry data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plist::base64 {

// Appends the encoding of the bytes to out, on one line.
void encode(const uint8_t* bytes, size_t size, std::string& out);
std::string encode(const std::vector<uint8_t>& bytes);

// Decodes text, skipping XML white space anywhere. Padding is optional but, when present, must be
// at the end. Gives none for any other character or a length that cannot be Base64.
std::optional<std::vector<uint8_t>> decode(std::string_view text);

} // namespace plist::base64
