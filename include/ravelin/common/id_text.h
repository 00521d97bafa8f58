// Ids and numbers as people type them: decimal or 0x hexadecimal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravelin::common {

// "318767104" or "0x13000000" (either case of x and of the digits); nothing for
// an empty text, a stray character or a value above 0xFFFFFFFF.
std::optional<std::uint32_t> parse_u32(std::string_view text);

// Exactly eight upper-case hexadecimal digits, zero-padded, no prefix
// ("00001234"): how the archive layer's texts print ids.
std::string hex8(std::uint32_t value);

// "0x" and the eight digits ("0x00001234"): how the bake's texts print ids.
std::string hex_id(std::uint32_t value);

}  // namespace ravelin::common
