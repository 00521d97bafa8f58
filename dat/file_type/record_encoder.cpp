#include "ravelin/dat/file_type/record_encoder.h"

#include <algorithm>
#include <array>

#include "dat/text_decoding.h"

namespace ravelin::dat::file_type {
namespace {

// Stored payload bytes by hook type before padding; type 5 in its short form.
constexpr std::array<std::uint8_t, kMaxAnimationHookType + 1> kHookPayloadSize = {
    0, 4, 4, 28, 0, 3, 4, 16, 12, 16, 12, 16, 8, 40, 4, 4, 4, 0, 4, 8, 12, 16, 12, 8, 12, 4, 40};
constexpr std::uint32_t kReplaceObjectHook = 5;

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The windows-1252 byte of each code point the bytes 0x80 to 0x9F decode to,
// taken from the decoder itself so that the two never disagree.
struct HighBytes {
  std::array<char32_t, 32> code_points{};
};

const HighBytes& high_bytes() {
  static const HighBytes table = [] {
    HighBytes t;
    for (std::uint8_t b = 0x80; b <= 0x9F; ++b) {
      const std::string utf8 = decode_windows_1252(std::span<const std::uint8_t>(&b, 1));
      // Two or three UTF-8 bytes: U+0080 to U+FFFF.
      char32_t cp = utf8.size() == 2 ? (utf8[0] & 0x1F) : (utf8[0] & 0x0F);
      for (std::size_t i = 1; i < utf8.size(); ++i) cp = (cp << 6) | (utf8[i] & 0x3F);
      t.code_points[b - 0x80] = cp;
    }
    return t;
  }();
  return table;
}

// The windows-1252 byte of `cp`, or -1 when it has none.
int windows_1252_byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  const auto& points = high_bytes().code_points;
  const auto it = std::find(points.begin(), points.end(), cp);
  return it == points.end() ? -1 : static_cast<int>(0x80 + (it - points.begin()));
}

// The next code point of well-formed UTF-8 at `i` (advancing it), or -1.
long next_code_point(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 1;
  char32_t cp = lead;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, cp = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, cp = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, cp = lead & 0x07;
  else if (lead >= 0x80) return -1;
  if (text.size() - i < length) return -1;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (next & 0x3F);
  }
  i += length;
  return static_cast<long>(cp);
}

bool starts_like_a_byte_order_mark(std::string_view bytes) {
  return bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

}  // namespace

std::string RecordError::to_string() const {
  return (pointer.empty() ? std::string("document") : pointer) + ": " + message;
}

bool is_plain_padding(const SkippedBytes& skipped, std::size_t needed) {
  return !skipped || (skipped->size() == needed &&
                      std::all_of(skipped->begin(), skipped->end(), [](std::uint8_t b) { return b == 0; }));
}

std::string decoded_text(std::string_view bytes) { return decode_text(bytes_of(bytes)); }

std::string encoded_text(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  bool single_bytes = true;
  while (i < utf8.size()) {
    const long cp = next_code_point(utf8, i);
    const int byte = cp < 0 ? -1 : windows_1252_byte(static_cast<char32_t>(cp));
    if (byte < 0) {
      single_bytes = false;
      break;
    }
    out += static_cast<char>(byte);
  }
  if (single_bytes && !starts_like_a_byte_order_mark(out)) return out;
  return "\xEF\xBB\xBF" + std::string(utf8);
}

bool text_gives_back(std::string_view bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return true;
  return encoded_text(decoded_text(bytes)) == bytes;
}

std::optional<std::size_t> hook_payload_size(std::uint32_t type) {
  if (type > kMaxAnimationHookType) return std::nullopt;
  return kHookPayloadSize[type];
}

std::optional<std::size_t> stored_payload_size(const AnimationHook& hook) {
  if (hook.hook_type != kReplaceObjectHook) return hook_payload_size(hook.hook_type);
  // A byte, then the word whose top bit (in its second byte) adds a second word.
  if (hook.payload.size() < 3) return std::nullopt;
  return (hook.payload[2] & 0x80) != 0 ? 5 : 3;
}

}  // namespace ravelin::dat::file_type
