// Text output shared by the libraries: number renderings, JSON string escaping
// and a small streaming JSON writer. Digits come from std::to_chars, never from
// printf, so they depend neither on the locale nor on the C library.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::common {

// Appends `value` in fixed-point form with exactly six decimals: the exact
// binary value correctly rounded, ties to even; zero of either sign gives
// "0.000000", other negatives keep their "-" (-1e-7 gives "-0.000000"); never an
// exponent. NaN gives "NaN", infinities "inf" and "-inf". A float converts to
// double exactly, so one routine serves both widths.
void append_fixed6(std::string& out, double value);
std::string format_fixed6(double value);

// Appends `value` in decimal (no sign, no leading zeros).
void append_decimal(std::string& out, std::uint64_t value);

// Appends "0x" and exactly eight upper-case hexadecimal digits.
void append_hex_id(std::string& out, std::uint32_t value);

// The shortest digits that read back as the same value at its own width,
// positional with a decimal point ("1.0", "-0.0", "100.0") when the magnitude
// is zero or lies in [1e-4, 1e16), otherwise exponent form without "+" or
// leading zeros ("1e20", "1.5e-5"); "NaN", "inf", "-inf".
std::string format_shortest_f32(float value);
std::string format_shortest_f64(double value);

// How a text is escaped inside a JSON string.
enum class JsonEscaping : std::uint8_t {
  // The event manifest: backslash and quote escaped, U+0000 to U+001F as
  // \u00xx so that a text can break neither its line nor the JSON; everything
  // else, UTF-8 included, as it is.
  Manifest,
  // Decoded-record documents: quote, backslash, \n, \r, \t, and every other
  // control character (U+0000 to U+001F, U+007F to U+009F) as \u00xx.
  Document,
};

// Appends `text` as the inside of a JSON string (no quotes).
void append_json_string_content(std::string& out, std::string_view text,
                                JsonEscaping escaping = JsonEscaping::Manifest);

// A streaming JSON writer for decoded records: members come out in the order
// the caller writes them, numbers through the renderings above, so a document
// is the same bytes on every run and platform.
class JsonWriter {
 public:
  // Compact: one line, no blanks. Otherwise two-space indentation, one member
  // or element per line, "key": value; an array begun `inline_elements` keeps
  // its scalars on one line ("[1, 2, 3]"), for long lists of numbers.
  // Strings are escaped as `escaping` says: a record document's way, or the
  // manifest's (for lines that carry manifest text and error texts).
  explicit JsonWriter(bool compact, JsonEscaping escaping = JsonEscaping::Document)
      : compact_(compact), escaping_(escaping) {}

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
  // Shortest digits; NaN and the infinities, which JSON numbers cannot hold, as
  // the strings "NaN", "inf", "-inf".
  void f32(float value);
  void f64(double value);
  // "0x" and eight upper-case hexadecimal digits, as a string.
  void hex_word(std::uint32_t value);
  // Lower-case hexadecimal, two digits per byte, as a string.
  void hex_bytes(std::span<const std::uint8_t> bytes);
  // A string, escaped as the writer escapes.
  void text(std::string_view value);
  // A value that is JSON already (a patch made elsewhere), written as it is.
  void raw_json(std::string_view json);

  // The document, without a trailing newline.
  std::string take() { return std::move(out_); }
  const std::string& view() const { return out_; }
  // Starts a new document in the same buffer (one writer serving many lines).
  void clear() {
    out_.clear();
    levels_.clear();
    after_key_ = false;
  }

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
  JsonEscaping escaping_;
  bool after_key_ = false;
  std::vector<Level> levels_;
  std::string out_;
};

}  // namespace ravelin::common
