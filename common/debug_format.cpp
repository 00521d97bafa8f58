#include "common/debug_format.h"

#include <cstdio>

namespace ravelin::common {

std::string debug_quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default: {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%x}", u);
          out += buf;
        } else {
          out += c;
        }
      }
    }
  }
  out += '"';
  return out;
}

std::string sanitize_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < bytes.size()) {
    const unsigned char b = at(i);
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (std::size_t k = 0; k < need; ++k, ++j) {
      if (j >= bytes.size() || at(j) < lo || at(j) > hi) {
        ok = false;
        break;
      }
      lo = 0x80;
      hi = 0xBF;
    }
    if (ok) {
      out.append(bytes.substr(i, j - i));
    } else {
      out += "\xEF\xBF\xBD";
    }
    i = j;
  }
  return out;
}


}  // namespace ravelin::common
