#include "ravelin/common/json_text.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace ravelin::common {
namespace {

constexpr char kLowerHex[] = "0123456789abcdef";

// Names of the values that have no digits; true when one was written.
bool append_non_finite(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

// The shortest round-trip digits of a finite non-zero value, from the
// library's scientific form ("1.5e-05"): the significant digits ("15") and the
// decimal exponent of the first one (-5).
struct ShortestDigits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

template <class Float>
ShortestDigits shortest_digits(Float value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  ShortestDigits out;
  std::size_t i = 0;
  if (text[i] == '-') {
    out.negative = true;
    ++i;
  }
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] != '.') out.digits += text[i];
  }
  if (i < text.size()) {
    const char* first = text.data() + i + 1;  // after 'e'
    if (*first == '+') ++first;
    std::from_chars(first, text.data() + text.size(), out.exponent);
  }
  return out;
}

// Positional with a point ("1.0", "0.25") when the first digit's power of ten
// lies in [-4, 16), otherwise exponent form ("1e20", "1.5e-5"). Deciding on the
// shortest digits' exponent is the same as comparing the magnitude with 1e-4
// and 1e16 taken at the value's own width.
template <class Float>
std::string format_shortest(Float value) {
  std::string out;
  if (append_non_finite(out, static_cast<double>(value))) return out;
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  const ShortestDigits d = shortest_digits(value);
  if (d.negative) out += '-';
  const int count = static_cast<int>(d.digits.size());
  if (d.exponent < -4 || d.exponent >= 16) {
    out += d.digits[0];
    if (count > 1) {
      out += '.';
      out.append(d.digits, 1);
    }
    out += 'e';
    out += std::to_string(d.exponent);
    return out;
  }
  if (d.exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out += d.digits;
  } else if (d.exponent + 1 >= count) {
    out += d.digits;
    out.append(static_cast<std::size_t>(d.exponent + 1 - count), '0');
    out += ".0";
  } else {
    const auto point = static_cast<std::size_t>(d.exponent + 1);
    out.append(d.digits, 0, point);
    out += '.';
    out.append(d.digits, point);
  }
  return out;
}

void append_unicode_escape(std::string& out, unsigned code) {
  out += "\\u00";
  out += kLowerHex[code >> 4];
  out += kLowerHex[code & 0xF];
}

void append_manifest_escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (byte < 0x20) {
      append_unicode_escape(out, byte);
    } else {
      out += c;
    }
  }
}

void append_document_escaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (byte < 0x20 || byte == 0x7F) {
      append_unicode_escape(out, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F, the C1 controls, are two bytes in UTF-8.
      append_unicode_escape(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
}

}  // namespace

void append_fixed6(std::string& out, double value) {
  if (append_non_finite(out, value)) return;
  if (value == 0) value = 0.0;  // negative zero prints without a sign
  // The largest double has 309 integer digits; with the point and six decimals
  // this fits comfortably.
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
  out.append(buf, res.ptr);
}

std::string format_fixed6(double value) {
  std::string out;
  append_fixed6(out, value);
  return out;
}

void append_decimal(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void append_hex_id(std::string& out, std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

std::string format_shortest_f32(float value) { return format_shortest(value); }
std::string format_shortest_f64(double value) { return format_shortest(value); }

void append_json_string_content(std::string& out, std::string_view text, JsonEscaping escaping) {
  if (escaping == JsonEscaping::Manifest) {
    append_manifest_escaped(out, text);
  } else {
    append_document_escaped(out, text);
  }
}

// --- JsonWriter -------------------------------------------------------------------

void JsonWriter::new_line() {
  out_ += '\n';
  out_.append(levels_.size() * 2, ' ');
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_ += ',';
  if (!compact_) {
    if (!level.inline_elements) {
      new_line();
    } else if (!level.empty) {
      out_ += ' ';
    }
  }
  level.empty = false;
}

void JsonWriter::open(char bracket, bool inline_elements) {
  before_value();
  out_ += bracket;
  levels_.push_back({inline_elements, true});
}

void JsonWriter::close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!compact_ && !level.empty && !level.inline_elements) new_line();
  out_ += bracket;
}

void JsonWriter::begin_object() { open('{', false); }
void JsonWriter::end_object() { close('}'); }
void JsonWriter::begin_array(bool inline_elements) { open('[', inline_elements); }
void JsonWriter::end_array() { close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
  before_value();
  raw_string(name);
  out_ += compact_ ? ":" : ": ";
  after_key_ = true;
  return *this;
}

void JsonWriter::null() {
  before_value();
  out_ += "null";
}

void JsonWriter::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
}

void JsonWriter::number(std::uint64_t value) {
  before_value();
  append_decimal(out_, value);
}

void JsonWriter::signed_number(std::int64_t value) {
  before_value();
  if (value < 0) out_ += '-';
  // Negated as unsigned so that the most negative value has a magnitude too.
  append_decimal(out_, value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
}

void JsonWriter::f32(float value) {
  if (!std::isfinite(value)) return text(format_shortest_f32(value));
  before_value();
  out_ += format_shortest_f32(value);
}

void JsonWriter::f64(double value) {
  if (!std::isfinite(value)) return text(format_shortest_f64(value));
  before_value();
  out_ += format_shortest_f64(value);
}

void JsonWriter::hex_word(std::uint32_t value) {
  before_value();
  out_ += '"';
  append_hex_id(out_, value);
  out_ += '"';
}

void JsonWriter::hex_bytes(std::span<const std::uint8_t> bytes) {
  before_value();
  out_ += '"';
  for (const std::uint8_t b : bytes) {
    out_ += kLowerHex[b >> 4];
    out_ += kLowerHex[b & 0xF];
  }
  out_ += '"';
}

void JsonWriter::text(std::string_view value) {
  before_value();
  raw_string(value);
}

void JsonWriter::raw_json(std::string_view json) {
  before_value();
  out_ += json;
}

void JsonWriter::raw_string(std::string_view content) {
  out_ += '"';
  append_json_string_content(out_, content, escaping_);
  out_ += '"';
}

}  // namespace ravelin::common
