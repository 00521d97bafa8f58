// PString reading: the first input byte picks the length width (1, 2, 4, or an
// unsupported one), the rest is the data. Every decoded text must be UTF-8.
#include <string_view>

#include "ravelin/common/reader.h"
#include "ravelin/dat/utils.h"
#include "fuzz/fuzz_entry.h"

namespace {

// Well-formed UTF-8 as Unicode defines it: shortest forms, no surrogates, at
// most U+10FFFF.
bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF) len = 2, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) len = 3, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) len = 4, cp = b & 0x07;
    else return false;
    if (i + len > text.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += len;
  }
  return true;
}

}  // namespace

RAVELIN_FUZZ_ENTRY(read_pstring) {
  if (size == 0) return 0;
  static constexpr int kWidths[] = {1, 2, 4, 3};
  const int width = kWidths[data[0] % 4];
  ravelin::common::Reader reader({data + 1, size - 1});
  auto text = ravelin::dat::utils::read_pstring(reader, width);
  if (text) {
    RAVELIN_FUZZ_CHECK("read_pstring", width != 3);
    RAVELIN_FUZZ_CHECK("read_pstring", is_utf8(*text));
    RAVELIN_FUZZ_CHECK("read_pstring", reader.position() <= reader.size());
  }
  return 0;
}
