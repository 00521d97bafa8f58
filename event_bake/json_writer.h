// A small streaming JSON writer for decoded records: members come out in the
// order the caller writes them, numbers through this library's own formatting,
// so a document is the same bytes on every run and platform.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::event_bake {

class JsonWriter {
 public:
  // Compact: one line, no blanks. Otherwise two-space indentation, one member
  // or element per line, "key": value; an array begun `inline_elements` keeps
  // its scalars on one line ("[1, 2, 3]"), for long lists of numbers.
  explicit JsonWriter(bool compact) : compact_(compact) {}

  void begin_object();
  void end_object();
  void begin_array(bool inline_elements = false);
  void end_array();
  // Names the member whose value is written next: w.key("id").hex_word(id).
  JsonWriter& key(std::string_view name);

  void null();
  void boolean(bool value);
  void number(std::uint64_t value);
  void signed_number(std::int64_t value);
  // Shortest digits that read back at the float's own width; NaN and the
  // infinities, which JSON numbers cannot hold, as the strings "NaN", "inf", "-inf".
  void f32(float value);
  void f64(double value);
  // "0x" and eight upper-case hexadecimal digits, as a string.
  void hex_word(std::uint32_t value);
  // Lower-case hexadecimal, two digits per byte, as a string.
  void hex_bytes(std::span<const std::uint8_t> bytes);
  // A string; quote, backslash and every control character (U+0000 to U+001F,
  // U+007F to U+009F) escaped, everything else copied as UTF-8.
  void text(std::string_view value);

  // The document, without a trailing newline.
  std::string take() { return std::move(out_); }

 private:
  struct Level {
    bool inline_elements = false;
    bool empty = true;
  };

  void before_value();
  void new_line();
  void open(char bracket, bool inline_elements);
  void close(char bracket);
  void raw_string(std::string_view content);

  bool compact_;
  bool after_key_ = false;
  std::vector<Level> levels_;
  std::string out_;
};

}  // namespace ravelin::event_bake
