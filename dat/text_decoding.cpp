#include "dat/text_decoding.h"

#include <string_view>

#include "common/debug_format.h"

namespace ravelin::dat {
namespace {

// windows-1252 code points of the bytes 0x80 to 0x9F (the WHATWG index); every
// other byte maps to the code point of the same value.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string decode_windows_1252(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const std::uint8_t b : bytes) {
    if (b >= 0x80 && b <= 0x9F) {
      append_utf8(out, kWindows1252High[b - 0x80]);
    } else {
      append_utf8(out, b);
    }
  }
  return out;
}

std::string decode_utf8(std::span<const std::uint8_t> bytes) {
  // The replacement rule of the WHATWG UTF-8 decoder (one U+FFFD per maximal
  // subpart of an ill-formed sequence) is the one sanitize_utf8 applies.
  return common::sanitize_utf8(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  std::uint32_t lead_surrogate = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t unit = big_endian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
    if (lead_surrogate != 0) {
      const std::uint32_t lead = lead_surrogate;
      lead_surrogate = 0;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((lead - 0xD800) << 10) + (unit - 0xDC00));
        continue;
      }
      // The unit after an unpaired lead surrogate is decoded on its own.
      append_utf8(out, kReplacement);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      lead_surrogate = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  // An odd trailing byte or a pending lead surrogate ends in one U+FFFD.
  if (lead_surrogate != 0 || i < bytes.size()) append_utf8(out, kReplacement);
  return out;
}

std::string decode_text(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    return decode_utf8(bytes.subspan(3));
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return decode_utf16(bytes.subspan(2), false);
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return decode_utf16(bytes.subspan(2), true);
  return decode_windows_1252(bytes);
}

}  // namespace ravelin::dat
