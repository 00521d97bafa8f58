#include "ravelin/dat/file_ids.h"

#include <algorithm>
#include <cctype>

#include "ravelin/common/id_text.h"

namespace ravelin::dat {

std::expected<std::uint32_t, std::string> parse_landblock(std::string_view text) {
  const auto value = common::parse_u32(text);
  if (!value) {
    std::string message = "not a 32-bit landblock: " + std::string(text);
    const bool hex_digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (hex_digits && common::parse_u32("0x" + std::string(text)))
      message += " (hexadecimal needs 0x: 0x" + std::string(text) + ")";
    return std::unexpected(message);
  }
  if (const auto id = landblock_id_from(*value)) return *id;
  return std::unexpected("not a landblock: " + std::string(text) + " (a number up to 0xFFFF or a whole id 0xLLLL0000)");
}

}  // namespace ravelin::dat
