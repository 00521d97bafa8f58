#include "ravelin/common/id_text.h"

#include "ravelin/common/json_text.h"

namespace ravelin::common {

std::optional<std::uint32_t> parse_u32(std::string_view s) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : s) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::string hex8(std::uint32_t value) { return hex_id(value).substr(2); }

std::string hex_id(std::uint32_t value) {
  std::string out;
  append_hex_id(out, value);
  return out;
}

}  // namespace ravelin::common
