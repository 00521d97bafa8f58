// Text decoding of stored strings, as the WHATWG Encoding Standard's "decode"
// algorithm does with windows-1252 as the fallback encoding. Never fails:
// malformed sequences become U+FFFD. Output is UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ravelin::dat {

// BOM sniffing: EF BB BF → UTF-8, FF FE → UTF-16LE, FE FF → UTF-16BE (the mark is
// dropped); otherwise every byte is one windows-1252 character.
std::string decode_text(std::span<const std::uint8_t> bytes);

std::string decode_windows_1252(std::span<const std::uint8_t> bytes);
std::string decode_utf8(std::span<const std::uint8_t> bytes);
std::string decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian);

}  // namespace ravelin::dat
