// Ids and numbers as people type them: decimal or 0x hexadecimal.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ravelin::common {

// "318767104" or "0x13000000" (either case of x and of the digits); nothing for
// an empty text, a stray character or a value above 0xFFFFFFFF.
std::optional<std::uint32_t> parse_u32(std::string_view text);

// A landblock given as its number (up to 0xFFFF, e.g. 0xA9B4) or as a whole
// landblock id (0xA9B40000): the id with the number in the high 16 bits.
constexpr std::uint32_t landblock_id_from(std::uint32_t value) { return value <= 0xFFFF ? value << 16 : value; }

}  // namespace ravelin::common
